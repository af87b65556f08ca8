// SPDX-License-Identifier: MIT
// The instruction sets the repair's kernels are written for. The repair of UTF-16 text and the
// filter's repair of UTF-8 bytes each keep the kernels that pay for themselves; both name, check
// and choose them here.
#pragma once

#include <span>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVIK_HAVE_X86_KERNELS 1
#else
#define ORVIK_HAVE_X86_KERNELS 0
#endif

namespace orvik::detail {

enum class Kernel {
    Scalar, // plain C++; every processor
    Ssse3, // 16-byte vectors (x86-64 with SSSE3)
    Avx2, // 32-byte vectors (x86-64 with AVX2)
};

// "scalar", "ssse3", "avx2".
const char* KernelName(Kernel kernel);
bool IsKernelSupported(Kernel kernel);

// Whether `kernel` is one of `kernels` and this processor runs it.
bool CanRun(std::span<const Kernel> kernels, Kernel kernel);

// The widest of `kernels` (listed from the simplest) that this processor runs, unless the
// environment variable ORVIK_REPAIR_KERNEL names another of them that it runs: a knob for
// measurements. An unknown or unsupported name is ignored.
Kernel ChooseKernel(std::span<const Kernel> kernels);

} // namespace orvik::detail
