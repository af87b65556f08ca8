// The kernels behind the repair paths. Each reads `length` code units from `in`, writes the
// repaired text to `out`, which has room for `length` code units, and returns how many it wrote.
// The output is never longer than the input, so repairing in a buffer of the input's size is safe.
#pragma once

#include <cstddef>

namespace orvik::detail {

std::size_t RepairScalar(const char16_t* in, std::size_t length, char16_t* out);

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ORVIK_HAVE_X86_KERNELS 1
std::size_t RepairSsse3(const char16_t* in, std::size_t length, char16_t* out);
std::size_t RepairAvx2(const char16_t* in, std::size_t length, char16_t* out);
#else
#define ORVIK_HAVE_X86_KERNELS 0
#endif

} // namespace orvik::detail
