#include "cli/utf8_repair.h"
#include "repair/repair_accents.h"
#include "utf8_text.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

using orvik::cli::Utf8Kernel;
using orvik::cli::Utf8Repairer;
using orvik::test::Hex;

struct ByteCase
{
    const char* name;
    std::string input;
    std::string expected;
};

// Bytes are written as escapes; the comments show the characters. "Ã" is C3 83, "©" C2 A9.
const ByteCase kCases[] = {
    { "plain_text_unchanged", "Bonjour, la mer.", "Bonjour, la mer." },
    { "e_acute_twice", "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9", "\xC3\xA9t\xC3\xA9" }, // Ã©tÃ© -> été
    { "all_nine_rows", // Ã© Ã´ Ã¨ Ãª Ã¹ Ã» Ã§ Ã® Ã¢ -> é ô è ê ù û ç î â
        "\xC3\x83\xC2\xA9\xC3\x83\xC2\xB4\xC3\x83\xC2\xA8\xC3\x83\xC2\xAA\xC3\x83\xC2\xB9"
        "\xC3\x83\xC2\xBB\xC3\x83\xC2\xA7\xC3\x83\xC2\xAE\xC3\x83\xC2\xA2",
        "\xC3\xA9\xC3\xB4\xC3\xA8\xC3\xAA\xC3\xB9\xC3\xBB\xC3\xA7\xC3\xAE\xC3\xA2" },
    { "lead_last_is_a_grave", "voil\xC3\x83", "voil\xC3\xA0" }, // voilÃ -> voilà
    { "lead_then_space_keeps_space", "\xC3\x83 la", "\xC3\xA0 la" },
    { "lead_then_nbsp_keeps_nbsp", "\xC3\x83\xC2\xA0", "\xC3\xA0\xC2\xA0" },
    { "damaged_capital_keeps_follower", "\xC3\x83\xE2\x80\xB0", "\xC3\xA0\xE2\x80\xB0" }, // Ã‰
    { "lead_lead_follower", "\xC3\x83\xC3\x83\xC2\xA9", "\xC3\xA0\xC3\xA9" }, // ÃÃ© -> àé
    { "follower_twice", "\xC3\x83\xC2\xA9\xC2\xA9", "\xC3\xA9\xC2\xA9" }, // Ã©© -> é©
    { "correct_text_unchanged", "\xC3\xA9t\xC3\xA9 \xC3\xA3", "\xC3\xA9t\xC3\xA9 \xC3\xA3" },
    { "a_circumflex_then_follower_is_no_lead", "\xC3\x82\xC2\xA9", "\xC3\x82\xC2\xA9" }, // Â©
    { "83_after_another_lead_byte_is_no_lead", "\xC5\x83\xC2\xA9", "\xC5\x83\xC2\xA9" }, // Ń©
    { "crlf_kept", "\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\r\n\r\nfin\r\n",
        "\xC3\xA9t\xC3\xA9\r\n\r\nfin\r\n" },
    { "byte_order_mark_kept", "\xEF\xBB\xBF\xC3\x83\xC2\xA9", "\xEF\xBB\xBF\xC3\xA9" },
    { "nul_bytes_kept", std::string("\0\xC3\x83\xC2\xA9\0", 6), std::string("\0\xC3\xA9\0", 4) },
    // Not valid UTF-8: only the well-formed "Ã" changes, every other byte is copied.
    { "lead_then_invalid_byte", "\xC3\x83\xFF", "\xC3\xA0\xFF" },
    { "lead_then_truncated_follower_at_end", "\xC3\x83\xC2", "\xC3\xA0\xC2" },
    { "lead_then_c2_then_non_follower", "\xC3\x83\xC2\x41", "\xC3\xA0\xC2\x41" },
    { "lead_then_c2_then_lead", "\xC3\x83\xC2\xC3\x83\xC2\xA9", "\xC3\xA0\xC2\xC3\xA9" },
    { "lead_then_overlong_follower", "\xC3\x83\xE0\x82\xA9", "\xC3\xA0\xE0\x82\xA9" },
    { "overlong_lead_unchanged", "\xE0\x83\x83\xC2\xA9", "\xE0\x83\x83\xC2\xA9" },
    { "stray_c3_before_lead", "\xC3\xC3\x83\xC2\xA9", "\xC3\xC3\xA9" },
    { "stray_c3_at_end", "ab\xC3", "ab\xC3" },
    { "lone_83_unchanged", "\x83\xC2\xA9", "\x83\xC2\xA9" },
    { "truncated_sequence_before_lead", "\xE2\x82\xC3\x83\xC2\xA9", "\xE2\x82\xC3\xA9" },
    { "encoded_surrogate_unchanged", "\xED\xA0\x80\xC3\x83", "\xED\xA0\x80\xC3\xA0" },
};

// Feeds `text` to a repairer in the chunks that `cuts` (increasing positions) mark.
std::string FeedCut(Utf8Kernel kernel, std::string_view text, const std::vector<std::size_t>& cuts,
    bool* changed = nullptr)
{
    Utf8Repairer repairer(kernel);
    std::string out;
    std::size_t from = 0;
    auto feed = [&](std::size_t to) {
        std::string buffer(to - from + Utf8Repairer::kMaxHeld, '\0');
        buffer.resize(repairer.Feed(text.substr(from, to - from), buffer.data()));
        out += buffer;
        from = to;
    };
    for (std::size_t cut : cuts)
        feed(cut);
    feed(text.size());
    std::string tail(Utf8Repairer::kMaxHeld, '\0');
    tail.resize(repairer.Finish(tail.data()));
    out += tail;
    if (changed)
        *changed = repairer.Changed();
    return out;
}

// What the filter must give: the UTF-16 repair of the decoded text, invalid bytes kept as they are.
std::string Reference(std::string_view bytes)
{
    return orvik::test::EncodeEscaped(orvik::RepairAccents(orvik::test::DecodeEscaped(bytes)));
}

class Utf8RepairTest : public testing::TestWithParam<Utf8Kernel>
{
protected:
    void SetUp() override
    {
        if (!orvik::cli::IsUtf8KernelSupported(GetParam()))
            GTEST_SKIP() << "this processor cannot run the kernel";
    }
};

TEST_P(Utf8RepairTest, NamedCasesWholeAndCutEverywhere)
{
    const std::string pad(37, 'x'); // puts each case mid-block and across block ends
    for (const ByteCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(Hex(Reference(c.input)), Hex(c.expected)) << "the case contradicts RepairAccents";
        for (const std::string& before : { std::string(), pad, pad.substr(0, 13) }) {
            const std::string input = before + c.input + pad;
            const std::string expected = before + c.expected + pad;
            bool changed = false;
            ASSERT_EQ(Hex(FeedCut(GetParam(), input, {}, &changed)), Hex(expected));
            EXPECT_EQ(changed, input != expected);
            for (std::size_t cut = 0; cut <= input.size(); ++cut)
                ASSERT_EQ(Hex(FeedCut(GetParam(), input, { cut })), Hex(expected)) << "cut " << cut;
        }
        std::vector<std::size_t> everyByte;
        for (std::size_t cut = 1; cut < c.input.size(); ++cut)
            everyByte.push_back(cut);
        EXPECT_EQ(Hex(FeedCut(GetParam(), c.input, everyByte)), Hex(c.expected)) << "byte by byte";
    }
}

// The task's own check: valid French text, damaged or not, in UTF-8 through the filter, against
// the same text in UTF-16 through RepairAccents.
TEST_P(Utf8RepairTest, RandomValidTextAgreesWithRepairAccents)
{
    const std::u16string alphabet[] = { u"\u00C3", u"\u00C3", u"\u00C3", u"\u00A9", u"\u00B4",
        u"\u00A8", u"\u00AA", u"\u00B9", u"\u00BB", u"\u00A7", u"\u00AE", u"\u00A2", u"\u00A0",
        u"\u00A1", u"\u00BC", u"\u00E9", u"\u00E3", u"\u00C2", u"\u0143", u"\u20AC", u"\u2030",
        u"\u00C3\u00A9", u"\U0001F600", u"\uFEFF", u"a", u" ", u"\r\n", u"\n", u"\u0083" };
    std::mt19937 random(20071106);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
    std::uniform_int_distribution<std::size_t> length(0, 200);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        for (std::size_t n = length(random); n > 0; --n)
            text += alphabet[pick(random)];
        const std::string utf8 = orvik::test::EncodeEscaped(text);
        const std::string expected = orvik::test::EncodeEscaped(orvik::RepairAccents(text));
        // Whole, so that the kernels' widest blocks meet leads at every offset; then cut.
        ASSERT_EQ(Hex(FeedCut(GetParam(), utf8, {})), Hex(expected)) << Hex(utf8);

        std::vector<std::size_t> cuts;
        std::uniform_int_distribution<std::size_t> step(1, 40);
        for (std::size_t at = step(random); at < utf8.size(); at += step(random))
            cuts.push_back(at);
        ASSERT_EQ(Hex(FeedCut(GetParam(), utf8, cuts)), Hex(expected)) << Hex(utf8);
    }
}

// Any bytes at all: pieces of damaged text mixed with invalid and truncated sequences and random
// bytes, against the reference that keeps invalid bytes as they are.
TEST_P(Utf8RepairTest, RandomBytesAgreeWithReference)
{
    const std::string pieces[]
        = { "\xC3\x83", "\xC3\x83", "\xC3\x83\xC2\xA9", "\xC2\xA9", "\xC2\xBB", "\xC2\xA0", "\xC2",
              "\xC3", "\x83", "\xA9", "\xE2\x82\xAC", "\xE2\x82", "\xF0\x9F\x98\x80", "\xF0\x9F",
              "\xE0\x83\x83", "\xC0\x83", "\xFF", "\xED\xA0\x80", "a", "\r\n" };
    std::mt19937 random(1107);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces));
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 120);
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        for (std::size_t n = length(random); n > 0; --n) {
            const std::size_t k = pick(random);
            bytes += k < std::size(pieces) ? pieces[k] : std::string(1, char(anyByte(random)));
        }
        const std::string expected = Reference(bytes);
        ASSERT_EQ(Hex(FeedCut(GetParam(), bytes, {})), Hex(expected)) << Hex(bytes);
        std::vector<std::size_t> cuts;
        std::uniform_int_distribution<std::size_t> step(1, 25);
        for (std::size_t at = step(random); at < bytes.size(); at += step(random))
            cuts.push_back(at);
        ASSERT_EQ(Hex(FeedCut(GetParam(), bytes, cuts)), Hex(expected)) << Hex(bytes);
        ASSERT_EQ(orvik::cli::RepairUtf8(expected, GetParam()), expected) << "not idempotent";
    }
}

TEST(Utf8Kernels, TheWidestSupportedKernelIsUsed)
{
    if (std::getenv("ORVIK_REPAIR_KERNEL"))
        GTEST_SKIP() << "ORVIK_REPAIR_KERNEL picks the kernel";
    orvik::cli::Utf8Kernel widest = Utf8Kernel::Scalar;
    for (Utf8Kernel kernel : orvik::cli::AllUtf8Kernels()) {
        if (orvik::cli::IsUtf8KernelSupported(kernel))
            widest = kernel;
    }
    EXPECT_EQ(orvik::cli::Utf8KernelName(orvik::cli::BestUtf8Kernel()),
        std::string(orvik::cli::Utf8KernelName(widest)));
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Utf8RepairTest,
    testing::ValuesIn(orvik::cli::AllUtf8Kernels().begin(), orvik::cli::AllUtf8Kernels().end()),
    [](const testing::TestParamInfo<Utf8Kernel>& info) {
        return std::string(orvik::cli::Utf8KernelName(info.param));
    });

} // namespace
