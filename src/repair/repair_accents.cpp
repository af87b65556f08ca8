// SPDX-License-Identifier: MIT
#include "repair/repair_accents.h"

#include "repair/repair_kernels.h"
#include "repair/repair_table.h"

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

using KernelFunction = std::size_t (*)(const char16_t*, std::size_t, char16_t*);

KernelFunction FunctionFor(Kernel kernel)
{
#if ORVIK_HAVE_X86_KERNELS
    if (kernel == Kernel::Ssse3)
        return RepairSsse3;
#endif
    return RepairScalar;
}

std::u16string Run(KernelFunction kernel, std::u16string_view text)
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

std::u16string RepairAccentsWith(Kernel kernel, std::u16string_view text)
{
    if (!CanRun(KernelFamily::Accents, kernel))
        throw std::invalid_argument("the repair has no such kernel for this processor");
    return Run(FunctionFor(kernel), text);
}

} // namespace detail

std::u16string RepairAccents(std::u16string_view text)
{
    static const detail::KernelFunction kernel
        = detail::FunctionFor(BestKernel(KernelFamily::Accents));
    return detail::Run(kernel, text);
}

} // namespace orvik
