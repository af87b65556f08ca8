// SPDX-License-Identifier: MIT
// The two text boxes: RichEdit controls (msftedit.dll) in plain-text mode.
//
// A RichEdit box holds every line break as one CR, whatever was written (LF, CR or CR LF), so its
// text reads back with each line break as one LF, as on the other systems. It takes CR CR LF for
// one soft line break, which it holds as one character of its own. Every other UTF-16 code
// unit reads back as written, except the NUL character, which the control cannot hold: a text
// holding one is refused whole rather than cut short.
#pragma once

#include "window/box_text_limit.h"
#include "window/frm_main_description.h"

#include <string>
#include <string_view>
#include <windows.h>

namespace orvik {

// Loads the RichEdit control's library, once; throws DesktopError when it cannot be.
void LoadRichEdit();

// Makes `box` a plain-text box with no length limit below kMaxBoxTextLength, whose text is written
// in the window description's box font, tagged with its language.
void SetUpBox(HWND box);

// The box's whole text, line breaks as LF.
std::u16string ReadBoxText(HWND box);

// Replaces the box's whole content with `text`, as one edit that Ctrl+Z undoes when the text is no
// longer than kMaxUndoableBoxTextLength (a longer one empties the undo history). Throws
// DesktopError when the text holds a NUL, is longer than kMaxBoxTextLength, or could not be written
// whole, and then gives the box its text back.
void WriteBoxText(HWND box, std::u16string_view text);

// The commands of a box's context menu, as Windows' own edit boxes have them.
enum class BoxMenuCommand : UINT { Undo = 1, Cut, Copy, Paste, Delete, SelectAll };

// The box's context menu, in French, each command enabled when it can act on the box as it is.
// The caller destroys it.
HMENU MakeBoxMenu(HWND box);

// Carries out `command` on the box, as the keyboard does (Ctrl+Z, Ctrl+X...).
void RunBoxMenuCommand(HWND box, BoxMenuCommand command);

} // namespace orvik
