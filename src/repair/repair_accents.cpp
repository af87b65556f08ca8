#include "repair/repair_accents.h"

#include "repair/repair_kernels.h"
#include "repair/repair_paths.h"
#include "repair/repair_table.h"

#include <array>
#include <stdexcept>

namespace orvik {

void CheckRepairLength(std::size_t length)
{
    if (length > kMaxRepairLength)
        throw std::length_error("Texte trop long : la conversion accepte au plus 2 147 483 646 "
                                "caractères.");
}

namespace detail {

std::size_t RepairScalar(const char16_t* in, std::size_t length, char16_t* out)
{
    char16_t* o = out;
    std::size_t i = 0;
    while (i < length) {
        const char16_t c = in[i];
        if (c != kLead) {
            *o++ = c;
            ++i;
        } else if (i + 1 < length && IsFollower(in[i + 1])) {
            *o++ = LetterFor(in[i + 1]);
            i += 2;
        } else {
            // Only the lead goes: the next character, a lead included, is read afresh.
            *o++ = kDefaultLetter;
            ++i;
        }
    }
    return std::size_t(o - out);
}

namespace {

using Kernel = std::size_t (*)(const char16_t*, std::size_t, char16_t*);

constexpr std::array kAllPaths = { RepairPath::Scalar, RepairPath::Ssse3, RepairPath::Avx2 };

Kernel KernelFor(RepairPath path)
{
    switch (path) {
#if ORVIK_HAVE_X86_KERNELS
    case RepairPath::Ssse3:
        return RepairSsse3;
    case RepairPath::Avx2:
        return RepairAvx2;
#endif
    default:
        return RepairScalar;
    }
}

std::u16string Run(Kernel kernel, std::u16string_view text)
{
    CheckRepairLength(text.size());
    std::u16string result;
    // The repaired text is never longer than the input: write straight into an uninitialised
    // buffer of that size and keep only what the kernel wrote. The size handed to the callback is
    // not used: libstdc++ 12 passes the grown capacity there, which may exceed the input.
    result.resize_and_overwrite(text.size(),
        [&](char16_t* out, std::size_t) { return kernel(text.data(), text.size(), out); });
    return result;
}

} // namespace

std::span<const RepairPath> AllRepairPaths()
{
    return kAllPaths;
}

const char* RepairPathName(RepairPath path)
{
    switch (path) {
    case RepairPath::Scalar:
        return "scalar";
    case RepairPath::Ssse3:
        return "ssse3";
    case RepairPath::Avx2:
        return "avx2";
    }
    return "?";
}

bool IsRepairPathSupported(RepairPath path)
{
    switch (path) {
    case RepairPath::Scalar:
        return true;
#if ORVIK_HAVE_X86_KERNELS
    case RepairPath::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case RepairPath::Avx2:
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
#endif
    default:
        return false;
    }
}

RepairPath BestRepairPath()
{
    static const RepairPath best = [] {
        RepairPath chosen = RepairPath::Scalar;
        for (RepairPath path : kAllPaths) {
            if (IsRepairPathSupported(path))
                chosen = path;
        }
        return chosen;
    }();
    return best;
}

std::u16string RepairAccentsWith(RepairPath path, std::u16string_view text)
{
    if (!IsRepairPathSupported(path))
        throw std::invalid_argument("repair path not supported on this processor");
    return Run(KernelFor(path), text);
}

} // namespace detail

std::u16string RepairAccents(std::u16string_view text)
{
    static const detail::Kernel kernel = detail::KernelFor(detail::BestRepairPath());
    return detail::Run(kernel, text);
}

} // namespace orvik
