// SPDX-License-Identifier: MIT
// The conversion and the clipboard commands against a stand-in for the desktop: the messages,
// the empty cases, a failure at each step, and what the boxes and the clipboard hold afterwards.
#include "text/utf.h"
#include "window/desktop.h"
#include "window/desktop_error.h"
#include "window/error_description.h"
#include "window/main_commands.h"
#include "window/text_file.h"

#include <gtest/gtest.h>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>

namespace orvik {
namespace {

// Two boxes and a clipboard in memory, message boxes recorded instead of shown, and each operation
// named in `failures` made to fail once, throwing `error`.
class StandIn final : public Desktop
{
public:
    std::u16string source, result, clipboard, shown;
    std::multiset<std::string> failures;
    std::exception_ptr error;
    int busy = 0, busyFaults = 0, resultWrites = 0;

    std::u16string BoxText(Box box) override
    {
        Enter(box == Box::Source ? "ReadSource" : "ReadResult", busy == 0);
        return box == Box::Source ? source : result;
    }
    void SetBoxText(Box box, std::u16string_view text) override
    {
        Enter(box == Box::Source ? "WriteSource" : "WriteResult", busy == 0);
        (box == Box::Source ? source : result) = text;
        resultWrites += box == Box::Result;
    }
    void ClearClipboard() override
    {
        Enter("ClearClipboard");
        clipboard.clear();
    }
    std::u16string ClipboardText() override
    {
        Enter("ReadClipboard");
        return clipboard;
    }
    void SetClipboardText(std::u16string_view text) override
    {
        Enter("WriteClipboard");
        clipboard = text;
    }
    // Recorded as "[title] prompt", one after the other.
    void ShowMessage(std::u16string_view prompt, std::u16string_view title) override
    {
        Enter("Show", busy != 0);
        shown += u"[" + std::u16string(title) + u"] " + std::u16string(prompt);
    }
    // The stand-in's files: name, bytes; any other name is missing.
    std::map<std::u16string, std::string> files;
    std::string ReadFile(std::u16string_view file, std::size_t limit) override
    {
        Enter("ReadFile", busy == 0);
        const auto found = files.find(std::u16string(file));
        if (found == files.end())
            throw FileError(FileProblem::Missing, file);
        if (found->second.size() > limit)
            throw FileError(FileProblem::TooLarge, file);
        return found->second;
    }
    std::u16string DescribeCurrentError() override
    {
        Enter("Describe");
        return DescribeException(std::current_exception());
    }
    void BeginBusy() noexcept override { ++busy; }
    void EndBusy() noexcept override { --busy; }

private:
    // `busyFault`: a box used without the busy cursor, or a message box shown under it.
    void Enter(const std::string& operation, bool busyFault = false)
    {
        busyFaults += busyFault;
        if (auto failure = failures.find(operation); failure != failures.end()) {
            failures.erase(failure);
            std::rethrow_exception(error);
        }
    }
};

// The texts as the user must see them, written out here rather than taken from the code.
const std::u16string kNothing = u"[Orvik : conversion] Il n'y a rien à convertir.";
const std::u16string kFailed
    = u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nÉchec simulé.";
const std::u16string kSource = u"Collez ici votre texte à convertir";
const std::u16string kResult = u"Votre texte sera converti ici.";
const std::u16string kDamaged = u"Ã©tÃ© Ã\u00A0la plage, oÃ¹ Ã§a";
const std::u16string kRepaired = u"été à\u00A0la plage, où ça";

// What the boxes and the clipboard hold; by default the window's opening sentences and an older
// text on the clipboard.
struct Texts
{
    std::u16string source = kSource, result = kResult, clipboard = u"ancien";
};

// The commands, and a file dropped on the window or named when it starts.
using Click = void (*)(MainCommands&);
constexpr Click kConvert = [](MainCommands&m) { m.CmdConvert_Click(); },
                kPaste = [](MainCommands&m) { m.cmdPaste_Click(); },
                kCopy = [](MainCommands&m) { m.cmdCopy_Click(); },
                kOpen = [](MainCommands&m) { m.OpenFile(u"zéro.txt"); };
const std::u16string kNotUtf8 = u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nLe "
                                u"fichier « zéro.txt » n'est pas un texte en UTF-8, le seul "
                                u"qu'orvik sache lire.";

struct Case
{
    const char* name;
    Click click;
    Texts before;
    std::multiset<std::string> failures;
    Texts after;
    std::u16string shown = u"";
    int resultWrites = 0;
    std::optional<std::string> file = {}; // the bytes of kOpen's file, if there is one
};

const Case kCases[] = {
    // name, click, before, operations that fail (each once), after, messages shown, result writes
    { "ConvertRepairsTheSource", kConvert, { kDamaged }, {}, { kDamaged, kRepaired }, u"", 1 },
    { "ConvertRefusesAnEmptySource", kConvert, { u"" }, {}, { u"" }, kNothing },
    { "ConvertTakesBlanksAsText", kConvert, { u" \n\t" }, {}, { u" \n\t", u" \n\t" }, u"", 1 },
    // The conversion's own report fails; the handler reports that failure.
    { "ConvertReportsAFailedDescription", kConvert, {}, { "ReadSource", "Describe" }, {}, kFailed },
    { "PasteConvertsTheClipboard", kPaste, { kSource, kResult, kDamaged }, {},
        { kDamaged, kRepaired, kDamaged }, u"", 1 },
    { "PasteOfNoTextEmptiesTheSourceAndRefuses", kPaste, { kSource, kResult, u"" }, {},
        { u"", kResult, u"" }, kNothing },
    { "PasteReportsAFailedClipboardRead", kPaste, {}, { "ReadClipboard" }, {}, kFailed },
    { "PasteKeepsThePastedSourceWhenConversionFails", kPaste, { kSource, kResult, kDamaged },
        { "WriteResult" }, { kDamaged, kResult, kDamaged }, kFailed },
    // Nothing can be shown at all: the window goes on, both boxes as they were.
    { "PasteSurvivesAFailedErrorMessage", kPaste, {}, { "ReadClipboard", "Show" }, {} },
    { "CopyPutsTheResultOnTheClipboard", kCopy, {}, {}, { kSource, kResult, kResult } },
    { "CopyOfAnEmptyResultEmptiesTheClipboard", kCopy, { kSource, u"" }, {},
        { kSource, u"", u"" } },
    // The result box is read before the clipboard is touched.
    { "CopyReportsAFailedReadAndLeavesTheClipboard", kCopy, {}, { "ReadResult" }, {}, kFailed },
    { "CopyReportsAFailedClear", kCopy, {}, { "ClearClipboard" }, {}, kFailed },
    { "CopyReportsAFailedWrite", kCopy, {}, { "WriteClipboard" }, { kSource, kResult, u"" },
        kFailed },
    // A file's UTF-8 text converted, or a message naming it and both boxes as they were.
    { "OpenConvertsTheFile", kOpen, {}, {}, { u"L'Ã©tÃ©\r\n", u"L'été\r\n" }, u"", 1,
        "L'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\r\n" },
    { "OpenOfAnEmptyFileRefuses", kOpen, {}, {}, { u"", kResult }, kNothing, 0, "" },
    { "OpenRefusesLatin1", kOpen, {}, {}, {}, kNotUtf8, 0, "caf\xE9" },
    { "OpenRefusesANul", kOpen, {}, {}, {}, kNotUtf8, 0, std::string("a\0b", 3) },
    { "OpenSaysAFileIsMissing", kOpen, {}, {}, {},
        u"[orvik : erreur] Petite erreur, veuillez réessayer, merci\n\nLe fichier « zéro.txt » est "
        u"introuvable." },
};

// Every row again with each kind of exception: only the description at the end of the error
// message changes. The repair's refusal is already in French; broken UTF-8 in a message has each
// byte that starts no valid sequence replaced, overlong and surrogate forms included.
const struct
{
    std::exception_ptr error;
    std::u16string description;
} kThrows[] = {
    { std::make_exception_ptr(DesktopError("Échec simulé.")), u"Échec simulé." },
    { std::make_exception_ptr(std::bad_alloc()), u"Mémoire insuffisante pour traiter ce texte." },
    { std::make_exception_ptr(std::runtime_error("Échec simulé.")),
        u"Erreur inattendue : Échec simulé." },
    { std::make_exception_ptr(std::length_error("Texte trop long.")), u"Texte trop long." },
    { std::make_exception_ptr(42), u"Erreur inattendue." },
    { std::make_exception_ptr(DesktopError("a\xC3(\xE2\x82\xC0\xAF\xED\xA0\x80")),
        u"a\uFFFD(\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD" },
};

TEST(MainCommandsTest, LeaveBoxesClipboardAndMessagesAsExpected)
{
    for (const Case& c : kCases)
        for (const auto& [error, description] : kThrows) {
            SCOPED_TRACE(std::string(c.name) + " throwing " + Utf8FromUtf16(description));
            StandIn p;
            p.source = c.before.source, p.result = c.before.result,
            p.clipboard = c.before.clipboard;
            p.failures = c.failures;
            p.error = error;
            if (c.file)
                p.files[u"zéro.txt"] = *c.file;
            std::u16string shown = c.shown;
            if (const auto at = shown.find(u"Échec simulé."); at != std::u16string::npos)
                shown.replace(at, std::u16string_view(u"Échec simulé.").size(), description);
            MainCommands commands(p);
            c.click(commands);
            EXPECT_EQ(p.source, c.after.source);
            EXPECT_EQ(p.result, c.after.result);
            EXPECT_EQ(p.clipboard, c.after.clipboard);
            EXPECT_EQ(p.shown, shown);
            EXPECT_EQ(p.resultWrites, c.resultWrites);
            EXPECT_TRUE(p.failures.empty()) << "an operation meant to fail was never reached";
            // The busy cursor covers every box operation, never a message box, and is gone at the
            // end.
            EXPECT_EQ(p.busyFaults, 0);
            EXPECT_EQ(p.busy, 0);
        }
}

TEST(DescribeExceptionTest, NoErrorAtAll)
{
    EXPECT_EQ(DescribeException(nullptr), u"Erreur inattendue.");
}

} // namespace
} // namespace orvik
