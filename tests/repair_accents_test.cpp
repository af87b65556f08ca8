// SPDX-License-Identifier: MIT
#include "reference_repair.h"
#include "repair/repair_accents.h"
#include "repair/repair_kernels.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

using orvik::Kernel;

// The table rows and the traps around them. Followers are written as escapes because many of
// them look alike; the comment on each row shows them.
const struct
{
    const char* name;
    std::u16string input, expected;
} kCases[] = {
    { "empty", u"", u"" },
    { "all_nine_rows", // Ã©tÃ© Ã´ Ã¨ Ãª Ã¹ Ã» Ã§ Ã® Ã¢
        u"\u00C3\u00A9t\u00C3\u00A9 \u00C3\u00B4 \u00C3\u00A8 \u00C3\u00AA \u00C3\u00B9 "
        u"\u00C3\u00BB \u00C3\u00A7 \u00C3\u00AE \u00C3\u00A2",
        u"été ô è ê ù û ç î â" },
    { "lead_last_is_a_grave", u"voil\u00C3", u"voilà" },
    { "lone_leads_keep_what_follows", u"\u00C3 la \u00C3\u00A0\u00C3\u2030", // Ã la Ã+NBSP Ã‰
        u"à la à\u00A0à\u2030" },
    { "lead_lead_follower", u"\u00C3\u00C3\u00A9", u"àé" }, // ÃÃ©
    { "correct_text_and_followers_without_lead_unchanged", // été à côté,\r\n\tã© © 2007
        u"été à côté,\r\n\t\u00E3\u00A9 \u00A9 2007",
        u"été à côté,\r\n\t\u00E3\u00A9 \u00A9 2007" },
    { "follower_twice", u"\u00C3\u00A9\u00A9", u"é\u00A9" },
    // A surrogate pair, a NUL, a lead and a lone low surrogate.
    { "surrogates_and_nul_untouched", { 0xD83D, 0xDE00, 0, 0xC3, 0xDC00 },
        { 0xD83D, 0xDE00, 0, 0xE0, 0xDC00 } },
};

using RepairKernelTest = testing::TestWithParam<Kernel>;

// Each case at every offset of texts up to a few blocks long, so that every lane and every block
// boundary meets it, a lead last in the text among them. Then every code unit after a lead, at a
// lane that moves with it, so that a follower test that lets through a neighbour of a follower (or
// misses one) cannot hide.
TEST_P(RepairKernelTest, NamedCasesAtEveryOffsetAndEveryCodeUnitAfterALead)
{
    if (!orvik::IsKernelSupported(GetParam()))
        GTEST_SKIP() << "this processor cannot run the kernel";
    const auto repair = [&](std::u16string_view text) {
        return orvik::detail::RepairAccentsWith(GetParam(), text);
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        for (std::size_t length = 0; length <= 40; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                const std::u16string before(at, u'e'), after(length - at, u'e');
                ASSERT_EQ(repair(before + c.input + after), before + c.expected + after)
                    << "at " << at << " in " << length;
            }
        }
    }
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit) {
        std::u16string text(unit % 23, u'e');
        text += u'\u00C3';
        text += char16_t(unit);
        text.append(24, u'e');
        ASSERT_EQ(repair(text), orvik::reference::RepairLiterally(text).text) << "unit " << unit;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, RepairKernelTest,
    testing::ValuesIn(orvik::Kernels(orvik::KernelFamily::Accents)),
    [](const auto& info) { return std::string(orvik::KernelName(info.param)); });

TEST(RepairAccents, LengthLimit)
{
    EXPECT_NO_THROW(orvik::CheckRepairLength(2147483646));
    // 2^40 as well: a length cut to an int on the way would pass.
    for (std::size_t tooLong : { std::size_t { 2147483647 }, std::size_t { 1 } << 40 }) {
        try {
            orvik::CheckRepairLength(tooLong);
            ADD_FAILURE() << "no error for " << tooLong;
        } catch (const std::length_error& error) {
            EXPECT_NE(std::string(error.what()).find("trop long"), std::string::npos);
        }
    }
}

} // namespace
