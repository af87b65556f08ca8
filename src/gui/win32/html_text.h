// SPDX-License-Identifier: MIT
// The plain text of the clipboard's "HTML Format", which some browsers and mail programs leave
// alone, without a plain text beside it.
#pragma once

#include <string>
#include <string_view>

namespace orvik {

// The text a reader sees in `clipboardHtml`, Windows' "HTML Format": UTF-8, a header of
// "Name:value" lines whose StartFragment and EndFragment (or StartHTML and EndHTML) give the byte
// offsets of the copied part. Markup, comments, scripts and styles are dropped; character
// references are decoded (&amp; &eacute; &#233; &#xE9;); runs of spaces and line breaks become one
// space, except within <pre>; each paragraph, list item, table cell, heading or <br> ends its line
// with a LF. No header: the whole text is taken as HTML.
std::u16string PlainTextOfHtml(std::string_view clipboardHtml);

} // namespace orvik
