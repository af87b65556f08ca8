// SPDX-License-Identifier: MIT
// Feeds arbitrary UTF-16 to every repair kernel and checks it against the literal reference and
// the properties every repair must have. Built with libFuzzer (clang, ORVIK_BUILD_FUZZ) or, with
// replay_main.cpp, as a plain program that replays a corpus.
#include "reference_repair.h"
#include "repair/repair_accents.h"
#include "repair/repair_kernels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, orvik::Kernel kernel)
{
    std::fprintf(stderr, "fuzz_repair: %s (kernel %s)\n", what, orvik::KernelName(kernel));
    std::abort();
}

void Check(const std::u16string& text)
{
    const auto expected = orvik::reference::RepairLiterally(text);
    for (auto kernel : orvik::Kernels(orvik::KernelFamily::Accents)) {
        if (!orvik::IsKernelSupported(kernel))
            continue;
        const std::u16string repaired = orvik::detail::RepairAccentsWith(kernel, text);
        if (repaired != expected.text)
            Fail("differs from the reference", kernel);
        if (repaired.find(u'\u00C3') != std::u16string::npos)
            Fail("a lead survived", kernel);
        if (repaired.size() != text.size() - expected.tableRepairs)
            Fail("length is not the input's less one per table repair", kernel);
        if (orvik::detail::RepairAccentsWith(kernel, repaired) != repaired)
            Fail("repairing twice changed the text", kernel);
    }
    if (orvik::RepairAccents(text) != expected.text)
        Fail("RepairAccents differs from the reference",
            orvik::BestKernel(orvik::KernelFamily::Accents));
}

// The code units that matter, so that random bytes also make dense runs of leads and followers.
constexpr char16_t kAlphabet[16] = { 0x00C3, 0x00A9, 0x00B4, 0x00A8, 0x00AA, 0x00B9, 0x00BB, 0x00A7,
    0x00AE, 0x00A2, 0x00A0, 0x00E3, 0x0041, 0x0000, 0xD800, 0xDC00 };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Reading 1: the bytes as UTF-16 little-endian, lone surrogates and NULs included.
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
    Check(units);

    // Reading 2: each nibble picks a code unit from the alphabet above.
    std::u16string dense;
    dense.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        dense += kAlphabet[data[i] & 0xF];
        dense += kAlphabet[data[i] >> 4];
    }
    Check(dense);
    return 0;
}
