// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes, cut at arbitrary places, to every kernel of the filter this processor
// runs, and checks the output against the literal reference. Built with libFuzzer (clang,
// ORVIK_BUILD_FUZZ) or, with replay_main.cpp, as a plain program that replays a corpus.
#include "reference_repair.h"
#include "utf8_feed.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using orvik::Kernel;

void Check(std::string_view text, const std::vector<std::size_t>& cuts)
{
    const std::string expected = orvik::reference::RepairBytesLiterally(text);
    for (Kernel kernel : orvik::Kernels(orvik::KernelFamily::Bytes)) {
        if (!orvik::IsKernelSupported(kernel))
            continue;
        // Whole, so that the widest blocks run and carry into each other; then in pieces.
        for (const auto& pieces : { std::vector<std::size_t> {}, cuts }) {
            if (orvik::FeedCut(kernel, text, pieces) != expected) {
                std::fprintf(stderr,
                    "fuzz_utf8_repair: kernel %s, %s, differs from the reference\n",
                    orvik::KernelName(kernel), pieces.empty() ? "whole" : "in pieces");
                std::abort();
            }
        }
    }
}

// The bytes that matter, so that random input also makes dense runs of sequences, whole or cut.
constexpr char kAlphabet[16] = { '\xC3', '\xC3', '\x83', '\x83', '\xC2', '\xC2', '\xA9', '\xBB',
    '\xA2', '\xA0', '\xA1', '\xBC', '\xFF', '\xE2', 'a', '\n' };

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The first byte spaces the cuts (1 to 64 bytes apart, varied by the text's own bytes); the
    // rest is the text.
    if (size == 0)
        return 0;
    const std::size_t spacing = (data[0] & 63) + 1;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::vector<std::size_t> cuts;
    for (std::size_t at = 1; at < text.size(); at += 1 + std::uint8_t(text[at]) % spacing)
        cuts.push_back(at);
    Check(text, cuts);

    // The same bytes read as nibbles of the alphabet above, cut at the same places (doubled).
    std::string dense;
    dense.reserve(2 * text.size());
    for (unsigned char b : text) {
        dense += kAlphabet[b & 0xF];
        dense += kAlphabet[b >> 4];
    }
    for (std::size_t& cut : cuts)
        cut *= 2;
    Check(dense, cuts);
    return 0;
}
