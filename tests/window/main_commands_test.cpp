// The conversion and the clipboard commands, against the recording stand-in: the messages, the
// empty cases, a failure at each step, and what the boxes and the clipboard hold afterwards.
#include "platform/error_description.h"
#include "platform/platform_error.h"
#include "recording_platform.h"
#include "window/main_commands.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvik::testing {
namespace {

// The texts as the user must see them, written out here rather than taken from the code.
const std::u16string kNothing = u"Il n'y a rien à convertir.";
const std::u16string kNothingTitle = u"Orvik : conversion";
const std::u16string kFailurePrompt
    = u"Petite erreur, veuillez réessayer, merci\n\nÉchec simulé de l'opération.";
const std::u16string kErrorTitle = u"orvik : erreur";

const std::u16string kInitialSource = u"Collez ici votre texte à convertir";
const std::u16string kInitialResult = u"Votre texte sera converti ici.";

enum class Click { Convert, Paste, Copy };

struct Message
{
    std::u16string prompt;
    std::u16string title;
};

struct CommandCase
{
    const char* name;
    Click click;
    std::function<void(RecordingPlatform&)> arrange;
    std::u16string source; // what each box holds afterwards
    std::u16string result;
    std::vector<Message> messages;
    int resultWrites = 0;
    // Checked only when set: the clipboard's text afterwards (nullopt inside: no text at all),
    // and whether something other than text is still there.
    std::optional<std::optional<std::u16string>> clipboardText = std::nullopt;
    std::optional<bool> clipboardHasOtherData = std::nullopt;
};

void PrintTo(const CommandCase& c, std::ostream* os)
{
    *os << c.name;
}

class CommandTest : public ::testing::TestWithParam<CommandCase>
{ };

TEST_P(CommandTest, LeavesBoxesClipboardAndMessagesAsExpected)
{
    const CommandCase& c = GetParam();
    RecordingPlatform platform;
    if (c.arrange)
        c.arrange(platform);
    MainCommands commands(platform);

    switch (c.click) {
    case Click::Convert:
        commands.CmdConvert_Click();
        break;
    case Click::Paste:
        commands.cmdPaste_Click();
        break;
    case Click::Copy:
        commands.cmdCopy_Click();
        break;
    }

    EXPECT_EQ(platform.source, c.source);
    EXPECT_EQ(platform.result, c.result);
    ASSERT_EQ(platform.messages.size(), c.messages.size());
    for (std::size_t i = 0; i < c.messages.size(); ++i) {
        EXPECT_EQ(platform.messages[i].prompt, c.messages[i].prompt) << "message " << i;
        EXPECT_EQ(platform.messages[i].title, c.messages[i].title) << "message " << i;
        EXPECT_EQ(platform.messages[i].busyDepth, 0) << "a message box shown under the busy cursor";
    }
    EXPECT_EQ(platform.resultWrites, c.resultWrites);
    if (c.clipboardText) {
        EXPECT_EQ(platform.clipboardText, *c.clipboardText);
    }
    if (c.clipboardHasOtherData) {
        EXPECT_EQ(platform.clipboardHasOtherData, *c.clipboardHasOtherData);
    }

    // The busy cursor covers every box operation and is gone afterwards, whatever happened.
    EXPECT_EQ(platform.busyDepth, 0);
    for (int depth : platform.busyDepthAtBoxOperations)
        EXPECT_GE(depth, 1) << "a box read or written without the busy cursor";
}

std::u16string Damaged()
{
    return u"Ã©tÃ© Ã\u00A0la plage, oÃ¹ Ã§a"; // été à la plage, où ça
}

std::u16string Repaired()
{
    return u"été à\u00A0la plage, où ça";
}

// No-break spaces, a line separator, a NUL inside and at the end.
std::u16string Unusual()
{
    using namespace std::string_literals;
    return u"été\u00A0\u202F\u2028\0x\0"s;
}

const CommandCase kCases[] = {
    // The conversion.
    { "ConvertRepairsTheSource", Click::Convert, [](auto& p) { p.source = Damaged(); }, Damaged(),
        Repaired(), {}, 1 },
    { "ConvertRightAfterStartCopiesTheSourceSentence", Click::Convert, nullptr, kInitialSource,
        kInitialSource, {}, 1 },
    { "ConvertRefusesAnEmptySourceAndLeavesTheResult", Click::Convert,
        [](auto& p) { p.source.clear(); }, u"", kInitialResult, { { kNothing, kNothingTitle } } },
    { "ConvertTakesBlanksAndLineBreaksAsText", Click::Convert,
        [](auto& p) { p.source = u" \n\t\n"; }, u" \n\t\n", u" \n\t\n", {}, 1 },
    { "ConvertCopiesUndamagedTextUnchanged", Click::Convert,
        [](auto& p) { p.source = u"Déjà\u202F! \u00C3x \U0001F600 e\u0301"; },
        u"Déjà\u202F! \u00C3x \U0001F600 e\u0301", u"Déjà\u202F! àx \U0001F600 e\u0301", {}, 1 },
    { "ConvertReportsAFailedReadAndLeavesTheResult", Click::Convert,
        [](auto& p) { p.Fail(Operation::ReadSource); }, kInitialSource, kInitialResult,
        { { kFailurePrompt, kErrorTitle } } },
    { "ConvertReportsAFailedWriteAndLeavesTheResult", Click::Convert,
        [](auto& p) {
            p.source = Damaged();
            p.Fail(Operation::WriteResult);
        },
        Damaged(), kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    { "ConvertReportsAFailureToShowTheEmptyMessage", Click::Convert,
        [](auto& p) {
            p.source.clear();
            p.Fail(Operation::ShowMessage);
        },
        u"", kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    // Describing the error fails in the conversion's error step: the handler reports that failure.
    { "ConvertReportsAFailureToDescribeTheError", Click::Convert,
        [](auto& p) {
            p.Fail(Operation::ReadSource);
            p.Fail(Operation::DescribeError);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    // Nothing can be shown at all: the window goes on, both boxes as they were.

    // Pasting.
    { "PastePutsTheClipboardInTheSourceAndConverts", Click::Paste,
        [](auto& p) { p.clipboardText = Damaged(); }, Damaged(), Repaired(), {}, 1,
        std::optional<std::u16string>(Damaged()) },
    { "PasteReplacesWhatWasTyped", Click::Paste,
        [](auto& p) {
            p.source = u"déjà tapé";
            p.clipboardText = u"collé";
        },
        u"collé", u"collé", {}, 1 },
    { "PasteOfAnImageOnlyEmptiesTheSourceThenRefuses", Click::Paste,
        [](auto& p) { p.clipboardHasOtherData = true; }, u"", kInitialResult,
        { { kNothing, kNothingTitle } }, 0, std::optional<std::u16string>(), true },
    { "PasteReportsAFailedClipboardReadAndKeepsBothBoxes", Click::Paste,
        [](auto& p) {
            p.clipboardText = Damaged();
            p.Fail(Operation::ReadClipboard);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    { "PasteReportsAFailedSourceWriteAndKeepsBothBoxes", Click::Paste,
        [](auto& p) {
            p.clipboardText = Damaged();
            p.Fail(Operation::WriteSource);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    { "PasteWhoseConversionFailsKeepsThePastedSource", Click::Paste,
        [](auto& p) {
            p.clipboardText = Damaged();
            p.Fail(Operation::WriteResult);
        },
        Damaged(), kInitialResult, { { kFailurePrompt, kErrorTitle } } },
    { "PasteSurvivesMessageBoxesThatAllFail", Click::Paste,
        [](auto& p) {
            p.Fail(Operation::ReadClipboard);
            p.Fail(Operation::ShowMessage, 99);
        },
        kInitialSource, kInitialResult, {} },

    // Copying.
    { "CopyPutsExactlyTheResultTextOnTheClipboard", Click::Copy,
        [](auto& p) {
            p.result = Unusual();
            p.clipboardText = u"ancien";
            p.clipboardHasOtherData = true;
        },
        kInitialSource, Unusual(), {}, 0, std::optional<std::u16string>(Unusual()), false },
    { "CopyRightAfterStartCopiesTheResultSentence", Click::Copy, nullptr, kInitialSource,
        kInitialResult, {}, 0, std::optional<std::u16string>(kInitialResult) },
    { "CopyOfAnEmptyResultLeavesAnEmptyText", Click::Copy, [](auto& p) { p.result.clear(); },
        kInitialSource, u"", {}, 0, std::optional<std::u16string>(u"") },
    { "CopyReportsAFailedReadAndLeavesTheClipboard", Click::Copy,
        [](auto& p) {
            p.clipboardText = u"ancien";
            p.clipboardHasOtherData = true;
            p.Fail(Operation::ReadResult);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } }, 0,
        std::optional<std::u16string>(u"ancien"), true },
    { "CopyReportsAFailedClearAndLeavesTheClipboard", Click::Copy,
        [](auto& p) {
            p.clipboardText = u"ancien";
            p.Fail(Operation::ClearClipboard);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } }, 0,
        std::optional<std::u16string>(u"ancien") },
    { "CopyReportsAFailedWriteAndKeepsBothBoxes", Click::Copy,
        [](auto& p) {
            p.clipboardText = u"ancien";
            p.Fail(Operation::WriteClipboard);
        },
        kInitialSource, kInitialResult, { { kFailurePrompt, kErrorTitle } }, 0,
        std::optional<std::u16string>() },
};

INSTANTIATE_TEST_SUITE_P(Commands, CommandTest, ::testing::ValuesIn(kCases),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST(ConvertTextTest, LetsAFailureOfItsErrorStepReachItsCaller)
{
    RecordingPlatform platform;
    platform.Fail(Operation::ReadSource);
    platform.Fail(Operation::ShowMessage);
    MainCommands commands(platform);
    EXPECT_THROW(commands.ConvertText(), PlatformError);
    EXPECT_EQ(platform.busyDepth, 0);
    EXPECT_EQ(platform.result, kInitialResult);
}

// The result box is read before the clipboard is touched, so that a failed read leaves the
// clipboard as it was.
TEST(CopyTest, ReadsTheResultBeforeTouchingTheClipboard)
{
    RecordingPlatform platform;
    MainCommands(platform).cmdCopy_Click();
    const std::vector<Operation> expected
        = { Operation::ReadResult, Operation::ClearClipboard, Operation::WriteClipboard };
    EXPECT_EQ(platform.calls, expected);
}

struct DescriptionCase
{
    const char* name;
    std::function<void()> raise;
    std::u16string description;
};

void PrintTo(const DescriptionCase& c, std::ostream* os)
{
    *os << c.name;
}

class DescriptionTest : public ::testing::TestWithParam<DescriptionCase>
{ };

TEST_P(DescriptionTest, DescribesTheErrorInFrench)
{
    std::exception_ptr error;
    try {
        GetParam().raise();
    } catch (...) {
        error = std::current_exception();
    }
    EXPECT_EQ(DescribeException(error), GetParam().description);
}

const DescriptionCase kDescriptions[] = {
    { "PlatformErrorAsItStands", [] { throw PlatformError("Le presse-papiers est inaccessible."); },
        u"Le presse-papiers est inaccessible." },
    { "LengthErrorOfTheRepairCoreAsItStands",
        [] { throw std::length_error("Texte trop long : au plus 2 147 483 646 caractères."); },
        u"Texte trop long : au plus 2 147 483 646 caractères." },
    { "LackOfMemoryInPlainFrench", [] { throw std::bad_alloc(); },
        u"Mémoire insuffisante pour traiter ce texte." },
    { "OtherStandardErrorPrefixed", [] { throw std::runtime_error("boom"); },
        u"Erreur inattendue : boom" },
    { "AnythingElse", [] { throw 42; }, u"Erreur inattendue." },
    { "NoErrorAtAll", [] {}, u"Erreur inattendue." },
    // Four-byte sequences become surrogate pairs; broken ones become U+FFFD each byte.
    { "Utf8DecodedToSurrogatePairs", [] { throw PlatformError("\xF0\x9F\x98\x80!"); },
        u"\U0001F600!" },
    { "BrokenUtf8Replaced",
        [] {
            throw PlatformError("a\xC3(\xE2\x82\xC0\x80"
                                "b");
        },
        u"a\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFDb" },
    { "OverlongAndSurrogateFormsReplaced", [] { throw PlatformError("\xC0\xAF\xED\xA0\x80"); },
        u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD" },
};

INSTANTIATE_TEST_SUITE_P(Errors, DescriptionTest, ::testing::ValuesIn(kDescriptions),
    [](const ::testing::TestParamInfo<DescriptionCase>& info) {
        return std::string(info.param.name);
    });

} // namespace
} // namespace orvik::testing
