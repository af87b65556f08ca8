// SPDX-License-Identifier: MIT
#include "reference_repair.h"
#include "utf8_feed.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using orvik::FeedCut;
using orvik::Kernel;

// Bytes are written as escapes; the comments show the characters. "Ã" is C3 83, "©" C2 A9.
const struct
{
    const char* name;
    std::string input, expected;
} kCases[] = {
    { "correct_text_and_look_alikes_unchanged", // été ã Â© Ń©
        "\xC3\xA9t\xC3\xA9 \xC3\xA3 \xC3\x82\xC2\xA9 \xC5\x83\xC2\xA9",
        "\xC3\xA9t\xC3\xA9 \xC3\xA3 \xC3\x82\xC2\xA9 \xC5\x83\xC2\xA9" },
    { "lone_leads_become_a_grave_and_keep_what_follows", // Ã la Ã+NBSP Ã‰ voilÃ
        "\xC3\x83 la \xC3\x83\xC2\xA0\xC3\x83\xE2\x80\xB0 voil\xC3\x83",
        "\xC3\xA0 la \xC3\xA0\xC2\xA0\xC3\xA0\xE2\x80\xB0 voil\xC3\xA0" },
    { "lead_lead_follower_follower", "\xC3\x83\xC3\x83\xC2\xA9\xC2\xA9", // ÃÃ©© -> àé©
        "\xC3\xA0\xC3\xA9\xC2\xA9" },
    // Not valid UTF-8: only the well-formed "Ã" changes, every other byte is copied.
    { "lead_then_invalid_bytes", // FF, C2 without a follower, overlong ©, C2 at the end
        "\xC3\x83\xFF\xC3\x83\xC2\x41\xC3\x83\xC2\xC3\x83\xC2\xA9\xC3\x83\xE0\x82\xA9\xC3\x83\xC2",
        "\xC3\xA0\xFF\xC3\xA0\xC2\x41\xC3\xA0\xC2\xC3\xA9\xC3\xA0\xE0\x82\xA9\xC3\xA0\xC2" },
    { "malformed_look_alikes_kept", // overlong Ã, lone 83, stray C3, E2 82, surrogate, final C3
        "\xE0\x83\x83\xC2\xA9\x83\xC2\xA9\xC3\xC3\x83\xC2\xA9\xE2\x82\xC3\x83\xED\xA0\x80\xC3",
        "\xE0\x83\x83\xC2\xA9\x83\xC2\xA9\xC3\xC3\xA9\xE2\x82\xC3\xA0\xED\xA0\x80\xC3" },
};

// `text` at every offset of the widest kernel's four-block chunk, fed whole, so that it meets
// every lane, block end and chunk end, and followed by a whole chunk without a lead, which must
// still take what the chunk before hands on; then, last in the input, cut at every position (a
// cut leaves the repairer in each state a sequence can be held in across reads).
void ExpectEverywhere(Kernel kernel, const std::string& text, const std::string& expected)
{
    const std::string pad(131, 'x');
    for (std::size_t offset = 0; offset <= 132; ++offset) {
        const std::string before(offset, 'x');
        ASSERT_EQ(FeedCut(kernel, before + text + pad, {}), before + expected + pad)
            << "offset " << offset;
    }
    const std::string input = pad + text, repaired = pad + expected;
    for (std::size_t cut = 1; cut < input.size(); ++cut)
        ASSERT_EQ(FeedCut(kernel, input, { cut }), repaired) << "cut " << cut;
}

using Utf8RepairTest = testing::TestWithParam<Kernel>;

TEST_P(Utf8RepairTest, NamedCasesAndEveryByteAfterALeadEverywhere)
{
    if (!orvik::IsKernelSupported(GetParam()))
        GTEST_SKIP() << "this processor cannot run the kernel";
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(orvik::reference::RepairBytesLiterally(c.input), c.expected)
            << "the case contradicts the reference";
        ExpectEverywhere(GetParam(), c.input, c.expected);
    }
    // A follower test that lets a neighbour of a follower through, or misses one, cannot hide.
    for (int b = 0; b < 256; ++b) {
        for (const std::string lead : { "\xC3\x83", "\xC3\x83\xC2" }) {
            SCOPED_TRACE(lead.size() * 1000 + b);
            ExpectEverywhere(
                GetParam(), lead + char(b), orvik::reference::RepairBytesLiterally(lead + char(b)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Utf8RepairTest,
    testing::ValuesIn(orvik::Kernels(orvik::KernelFamily::Bytes)),
    [](const auto& info) { return std::string(orvik::KernelName(info.param)); });

} // namespace
