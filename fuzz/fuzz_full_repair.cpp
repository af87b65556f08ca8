// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to FullRepairer, whole and cut into chunks, and checks it against the
// literal reference. Built with libFuzzer (clang, ORVIK_BUILD_FUZZ) or,
// with replay_main.cpp, as a plain program that replays a corpus.
#include "full_reference.h"
#include "repair/full_repair.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_full_repair: %s\n", what);
    std::abort();
}

// The repair of `text` fed in chunks whose sizes cycle through `sizes` (1 to 64 bytes each).
std::string RepairCut(std::string_view text, std::string_view sizes, bool& changed)
{
    orvik::FullRepairer repairer(64);
    std::string out;
    std::size_t k = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t wanted
            = sizes.empty() ? 64 : 1 + (unsigned char)sizes[k++ % sizes.size()] % 64;
        const std::size_t n = std::min(wanted, text.size() - at);
        std::memcpy(repairer.ReadBuffer(), text.data() + at, n);
        out += repairer.Feed(n);
        at += n;
    }
    out += repairer.Finish();
    changed = repairer.Changed();
    return out;
}

void Check(std::string_view text, std::string_view sizes)
{
    const std::string expected = orvik::reference::RepairFullLiterally(text);
    if (orvik::RepairFull(text) != expected)
        Fail("whole text differs from the reference");
    bool changed = false;
    const std::string cut = RepairCut(text, sizes, changed);
    if (cut != expected)
        Fail("text cut into chunks differs from the reference");
    if (changed != (cut != text))
        Fail("Changed() does not tell whether the text changed");
}

// What the rules look at, so that random bytes also make dense runs of damage: characters that
// may start a sequence, characters that may continue one, letters of each case, spaces, capitals,
// punctuation and bytes that are not UTF-8.
constexpr std::string_view kPieces[64] = { "Ã", "Â", "â", "Ð", "ð", "Å", "Ï", "Ë", "©", "«",
    "\u00A0", "€", "’", "™", "œ", "Ÿ", "˜", "\u0081", "\u009D", "¯", "a", "S", " ", ".", "\n",
    "\u202F", "É", "\xC3", "\x80", "\xE2\x82", "\xFF", "\xF0\x9F", "Ä", "È", "Ì", "á", "ï", "µ",
    "»", "…", "ž", "Ÿ", "\u008F", "\u0090", "°", "±", "‰", "ˆ", "ğ", "İ", "ǅ", "ß", "ə", "ỹ", "ἀ",
    "Ḁ", "\u2003", "\t", "z", "E", "é", "\xED\xA0", "\u1680", "\u0085" };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first half of the bytes gives the chunk sizes, the whole input is the text.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view sizes = bytes.substr(0, size / 2);
    Check(bytes, sizes);

    // Each byte picks a piece: low six bits the piece, the top bits repeat it.
    std::string dense;
    for (std::uint8_t b : bytes) {
        for (int r = 0; r <= (b >> 6); ++r)
            dense += kPieces[b & 63];
    }
    Check(dense, sizes);
    return 0;
}
