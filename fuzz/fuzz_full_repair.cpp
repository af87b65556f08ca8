// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes to FullRepairer, and the text of pieces they stand for, whole, cut into
// chunks and in two parts where FindCut() allows, and checks it against the literal reference.
// Built with libFuzzer (clang, ORVIK_BUILD_FUZZ) or, with replay_main.cpp, as a plain program that
// replays a corpus.
#include "full_reference.h"
#include "full_repair_pieces.h"
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

// The repair of `text` fed in chunks whose sizes cycle through `sizes`: 1 to 64 bytes each, or
// from 192 on up to 505, where the runs of damage meet the chunks' ends. One repairer serves all
// inputs, Reset() between them.
std::string RepairCut(std::string_view text, std::string_view sizes, bool& changed)
{
    static orvik::FullRepairer repairer(505);
    repairer.Reset();
    std::string out;
    std::size_t k = 0;
    for (std::size_t at = 0; at < text.size();) {
        const unsigned size = sizes.empty() ? 64 : (unsigned char)sizes[k++ % sizes.size()];
        const std::size_t wanted = size < 192 ? 1 + size % 64 : 1 + (size - 192) * 8;
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
    // Cut where FindCut() allows, its two parts repaired as two texts.
    if (const std::size_t at = orvik::FindCut(text, text.size() / 2); at < text.size())
        if (orvik::RepairFull(text.substr(0, at)) + orvik::RepairFull(text.substr(at)) != expected)
            Fail("text repaired in two parts where FindCut() allows differs from the reference");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first half of the bytes gives the chunk sizes, the whole input is the text.
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view sizes = bytes.substr(0, size / 2);
    Check(bytes, sizes);
    // And the text of what the rules look at that the bytes stand for, dense with damage.
    Check(orvik::fuzz::FullRepairText(bytes), sizes);
    return 0;
}
