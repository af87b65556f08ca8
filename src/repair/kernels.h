// SPDX-License-Identifier: MIT
// The kernels of the repairs: the instruction sets they are written for, and the one choice of a
// kernel for each repair. The repair of UTF-16 text (RepairAccents) and the filter's repair of
// UTF-8 bytes (Utf8Repairer) each keep the kernels that pay for themselves.
#pragma once

#include <span>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ORVIK_HAVE_X86_KERNELS 1
#else
#define ORVIK_HAVE_X86_KERNELS 0
#endif

namespace orvik {

enum class Kernel {
    Scalar, // plain C++; every processor
    Ssse3, // 16-byte vectors (x86-64 with SSSE3)
    Avx2, // 32-byte vectors (x86-64 with AVX2)
};

// The repairs that have kernels of their own.
enum class KernelFamily {
    Accents, // RepairAccents, on UTF-16 text
    Bytes, // Utf8Repairer, on UTF-8 bytes
};

// "scalar", "ssse3", "avx2".
const char* KernelName(Kernel kernel);
// Whether this processor runs `kernel`.
bool IsKernelSupported(Kernel kernel);

// The kernels of `family`, the scalar one first.
std::span<const Kernel> Kernels(KernelFamily family);
// Whether `kernel` is one of Kernels(family) and this processor runs it.
bool CanRun(KernelFamily family, Kernel kernel);

// The kernel `family` uses, chosen once: the widest of Kernels(family) that this processor runs,
// unless the environment variable ORVIK_REPAIR_KERNEL names another of them that it runs (a knob
// for measurements; an unknown or unsupported name is ignored).
Kernel BestKernel(KernelFamily family);

} // namespace orvik
