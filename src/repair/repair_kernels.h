// SPDX-License-Identifier: MIT
// The kernels behind RepairAccents and Utf8Repairer, exposed so that tests, the fuzzers and the
// benchmark can run each one on any machine that has it (see kernels.h for the choice).
#pragma once

#include "repair/kernels.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace orvik::detail {

// RepairAccents through `kernel`, which must be one of Kernels(KernelFamily::Accents) that this
// processor runs.
std::u16string RepairAccentsWith(Kernel kernel, std::u16string_view text);

// RepairAccents' kernels. Each reads `length` code units from `in`, writes the repaired text to
// `out`, which has room for `length` code units, and returns how many it wrote. The output is
// never longer than the input, so repairing in a buffer of the input's size is safe.
std::size_t RepairScalar(const char16_t* in, std::size_t length, char16_t* out);
#if ORVIK_HAVE_X86_KERNELS
std::size_t RepairSsse3(const char16_t* in, std::size_t length, char16_t* out);

// Utf8Repairer's AVX2 kernel: repairs in[i, n) 32 bytes at a time while a block and the 3 bytes
// after it are there, writing to `out`. Stops at a byte that starts no sequence still open, so
// that the scalar code can go on from there, and returns that position. `out` advances past what
// was written; stores may reach up to 32 bytes past it, never past out + (n - i). `changed` is set
// when a lead was repaired.
std::size_t RepairBlocksAvx2(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed);
#endif

} // namespace orvik::detail
