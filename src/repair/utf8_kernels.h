// SPDX-License-Identifier: MIT
// The block kernels behind Utf8Repairer, so that tests can run each one.
#pragma once

#include "repair/kernels.h"

#include <cstddef>
#include <span>

namespace orvik::cli {

using orvik::detail::Kernel;

// The filter's kernels, the scalar one first: memchr() to the next C3, then one sequence at a
// time; and 32 bytes at a time with AVX2. (16 bytes at a time with SSSE3 was no faster than
// memchr() on prose, whose leads are rarely more than a block apart.)
std::span<const Kernel> Utf8Kernels();
// The kernel Utf8Repairer uses unless told otherwise (ORVIK_REPAIR_KERNEL may name another).
Kernel BestUtf8Kernel();

namespace detail {

#if ORVIK_HAVE_X86_KERNELS
// Repairs in[i, n) 32 bytes at a time while a block and the 3 bytes after it are there, writing
// to `out`. Stops at a byte that starts no sequence still open, so that the scalar code can go on
// from there, and returns that position. `out` advances past what was written; stores may reach
// up to 32 bytes past it, never past out + (n - i). `changed` is set when a lead was repaired.
std::size_t RepairBlocksAvx2(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed);
#endif

} // namespace detail

} // namespace orvik::cli
