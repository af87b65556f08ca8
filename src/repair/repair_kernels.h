// SPDX-License-Identifier: MIT
// The kernels behind RepairAccents, exposed so that tests, the fuzzer and the benchmark can run
// each one on any machine that has it. Each reads `length` code units from `in`, writes the
// repaired text to `out`, which has room for `length` code units, and returns how many it wrote.
// The output is never longer than the input, so repairing in a buffer of the input's size is safe.
#pragma once

#include "repair/kernels.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace orvik::detail {

// The kernels of the repair, the scalar one first: a scalar loop, and 8 code units at a time with
// SSSE3. (Twice as wide with AVX2 gained under a tenth on damaged prose: the copy of the text in
// memory is most of the cost.)
std::span<const Kernel> RepairKernels();
// The kernel RepairAccents uses on this processor.
Kernel BestRepairKernel();
// RepairAccents through `kernel`, which must be one of RepairKernels() that this processor runs.
std::u16string RepairAccentsWith(Kernel kernel, std::u16string_view text);

std::size_t RepairScalar(const char16_t* in, std::size_t length, char16_t* out);
#if ORVIK_HAVE_X86_KERNELS
std::size_t RepairSsse3(const char16_t* in, std::size_t length, char16_t* out);
#endif

} // namespace orvik::detail
