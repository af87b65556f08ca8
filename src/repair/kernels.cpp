// SPDX-License-Identifier: MIT
#include "repair/kernels.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace orvik::detail {

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

bool CanRun(std::span<const Kernel> kernels, Kernel kernel)
{
    return std::ranges::find(kernels, kernel) != kernels.end() && IsKernelSupported(kernel);
}

Kernel ChooseKernel(std::span<const Kernel> kernels)
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

} // namespace orvik::detail
