#include "recording_platform.h"

#include "platform/error_description.h"
#include "platform/platform_error.h"

namespace orvik::testing {

void RecordingPlatform::Enter(Operation operation)
{
    calls.push_back(operation);
    auto failure = m_failures.find(operation);
    if (failure != m_failures.end() && failure->second > 0) {
        --failure->second;
        throw PlatformError(kMadeUpFailure);
    }
}

std::u16string RecordingPlatform::BoxText(Box box)
{
    Enter(box == Box::Source ? Operation::ReadSource : Operation::ReadResult);
    busyDepthAtBoxOperations.push_back(busyDepth);
    return box == Box::Source ? source : result;
}

void RecordingPlatform::SetBoxText(Box box, std::u16string_view text)
{
    Enter(box == Box::Source ? Operation::WriteSource : Operation::WriteResult);
    busyDepthAtBoxOperations.push_back(busyDepth);
    (box == Box::Source ? source : result) = text;
    if (box == Box::Result)
        ++resultWrites;
}

void RecordingPlatform::ClearClipboard()
{
    Enter(Operation::ClearClipboard);
    clipboardText.reset();
    clipboardHasOtherData = false;
}

std::u16string RecordingPlatform::ClipboardText()
{
    Enter(Operation::ReadClipboard);
    return clipboardText.value_or(std::u16string());
}

void RecordingPlatform::SetClipboardText(std::u16string_view text)
{
    Enter(Operation::WriteClipboard);
    clipboardText = std::u16string(text);
    clipboardHasOtherData = false;
}

void RecordingPlatform::ShowMessage(std::u16string_view prompt, std::u16string_view title)
{
    Enter(Operation::ShowMessage);
    messages.push_back({ std::u16string(prompt), std::u16string(title), busyDepth });
}

std::u16string RecordingPlatform::DescribeCurrentError()
{
    Enter(Operation::DescribeError);
    return DescribeException(std::current_exception());
}

} // namespace orvik::testing
