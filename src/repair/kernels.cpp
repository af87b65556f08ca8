// SPDX-License-Identifier: MIT
#include "repair/kernels.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace orvik {

namespace {

// RepairAccents: a scalar loop, and 8 code units at a time with SSSE3. (Twice as wide with AVX2
// gained under a tenth on damaged prose: the copy of the text in memory is most of the cost.)
constexpr std::array kAccentKernels = { Kernel::Scalar, Kernel::Ssse3 };
// Utf8Repairer: memchr() to the next C3, then one sequence at a time; and 32 bytes at a time with
// AVX2. (16 bytes at a time with SSSE3 was no faster than memchr() on prose, whose leads are
// rarely more than a block apart.)
constexpr std::array kByteKernels = { Kernel::Scalar, Kernel::Avx2 };

Kernel Choose(std::span<const Kernel> kernels)
{
    const char* forced = std::getenv("ORVIK_REPAIR_KERNEL");
    for (Kernel kernel : kernels) {
        if (forced && std::string_view(forced) == KernelName(kernel) && IsKernelSupported(kernel))
            return kernel;
    }
    Kernel chosen = Kernel::Scalar;
    for (Kernel kernel : kernels) {
        if (IsKernelSupported(kernel))
            chosen = kernel;
    }
    return chosen;
}

} // namespace

const char* KernelName(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Ssse3:
        return "ssse3";
    case Kernel::Avx2:
        return "avx2";
    default:
        return "scalar";
    }
}

bool IsKernelSupported(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Scalar:
        return true;
#if ORVIK_HAVE_X86_KERNELS
    case Kernel::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case Kernel::Avx2:
        return __builtin_cpu_supports("avx2");
#endif
    default:
        return false;
    }
}

std::span<const Kernel> Kernels(KernelFamily family)
{
    if (family == KernelFamily::Accents)
        return kAccentKernels;
    return kByteKernels;
}

bool CanRun(KernelFamily family, Kernel kernel)
{
    return std::ranges::find(Kernels(family), kernel) != Kernels(family).end()
        && IsKernelSupported(kernel);
}

Kernel BestKernel(KernelFamily family)
{
    static const Kernel accents = Choose(kAccentKernels);
    static const Kernel bytes = Choose(kByteKernels);
    return family == KernelFamily::Accents ? accents : bytes;
}

} // namespace orvik
