// The block kernels behind Utf8Repairer, one per instruction set, so that tests can run each one.
#pragma once

#include <cstddef>
#include <span>

namespace orvik::cli {

enum class Utf8Kernel {
    Scalar, // memchr() to the next C3, then one sequence at a time; every processor
    Ssse3, // 16 bytes at a time (x86-64 with SSSE3)
    Avx2, // 32 bytes at a time (x86-64 with AVX2)
    Avx512, // 64 bytes at a time (x86-64 with AVX-512 VBMI2, which packs bytes in one instruction)
};

// Every kernel, the scalar one first.
std::span<const Utf8Kernel> AllUtf8Kernels();
const char* Utf8KernelName(Utf8Kernel kernel);
bool IsUtf8KernelSupported(Utf8Kernel kernel);
// The fastest kernel this processor runs, unless the environment variable ORVIK_REPAIR_KERNEL
// names another one it runs ("Scalar", "Ssse3", "Avx2", "Avx512"): a knob for measurements.
Utf8Kernel BestUtf8Kernel();

namespace detail {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVIK_HAVE_X86_UTF8_KERNEL 1
// Repairs in[i, n) 16 bytes at a time while a block and the 3 bytes after it are there, writing
// to `out`. Stops at a byte that starts no sequence still open, so that the scalar code can go on
// from there, and returns that position. `out` advances past what was written; stores may reach
// up to 16 bytes past it, never past out + (n - i). `changed` is set when a lead was repaired.
std::size_t RepairBlocksSsse3(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed);
// The same, 32 bytes at a time; stores may reach up to 32 bytes past `out`.
std::size_t RepairBlocksAvx2(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed);
// The same, 64 bytes at a time; stores may reach up to 64 bytes past `out`.
std::size_t RepairBlocksAvx512(
    const unsigned char* in, std::size_t i, std::size_t n, char*& out, bool& changed);
#else
#define ORVIK_HAVE_X86_UTF8_KERNEL 0
#endif

} // namespace detail

} // namespace orvik::cli
