// A stand-in for the desktop platform: two boxes and a clipboard held in memory, every call
// recorded, message boxes recorded instead of shown, and any operation made to fail on demand.
#pragma once

#include "platform/platform.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvik::testing {

enum class Operation {
    ReadSource,
    ReadResult,
    WriteSource,
    WriteResult,
    ClearClipboard,
    ReadClipboard,
    WriteClipboard,
    ShowMessage,
    DescribeError,
};

// The description carried by every failure the stand-in makes up.
inline constexpr const char* kMadeUpFailure = "Échec simulé de l'opération.";

struct ShownMessage
{
    std::u16string prompt;
    std::u16string title;
    int busyDepth; // the busy cursor's nesting when the box was shown
};

class RecordingPlatform final : public Platform
{
public:
    // What the window holds at start.
    std::u16string source = u"Collez ici votre texte à convertir";
    std::u16string result = u"Votre texte sera converti ici.";
    // The clipboard: its text, if any, and whether it also holds something else (an image).
    std::optional<std::u16string> clipboardText;
    bool clipboardHasOtherData = false;

    std::vector<Operation> calls;
    std::vector<ShownMessage> messages;
    int resultWrites = 0; // successful writes of the result box
    int busyDepth = 0;
    // The busy cursor's nesting at each box read or write, in call order.
    std::vector<int> busyDepthAtBoxOperations;

    // The next `times` calls of `operation` throw a PlatformError (kMadeUpFailure).
    void Fail(Operation operation, int times = 1) { m_failures[operation] = times; }

    std::u16string BoxText(Box box) override;
    void SetBoxText(Box box, std::u16string_view text) override;
    void ClearClipboard() override;
    std::u16string ClipboardText() override;
    void SetClipboardText(std::u16string_view text) override;
    void ShowMessage(std::u16string_view prompt, std::u16string_view title) override;
    std::u16string DescribeCurrentError() override;
    void BeginBusy() noexcept override { ++busyDepth; }
    void EndBusy() noexcept override { --busyDepth; }

private:
    void Enter(Operation operation);

    std::map<Operation, int> m_failures;
};

} // namespace orvik::testing
