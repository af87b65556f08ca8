// SPDX-License-Identifier: MIT
// The French texts the filter shows: error descriptions and the help.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace orvik::cli {

// "what (description of the system error) ; fichier laissé intact": the reason given when a repair
// in place fails before the original is touched.
std::string LeftIntact(const std::string& what, std::error_code error);

// `name` as it may appear in a message, on one line that no terminal misreads: bare when it holds
// only characters a shell would take as they are; otherwise in single quotes, with each control
// character, C1 control or byte that is not UTF-8 written as a $'\ooo' escape outside them (as in
// 'a'$'\n''b'), so that the line can also be pasted back into a shell. On Windows, as cmd.exe
// reads it back: in double quotes when it holds a space or a character cmd.exe gives a meaning of
// its own (& ( ) [ ] { } ^ = ; ! ' + , ` ~ %), each control character, C1 control, half of a
// surrogate pair or byte that is not UTF-8 shown as U+FFFD.
std::string QuoteName(std::string_view name);

// The text of --help.
std::string_view HelpText();

} // namespace orvik::cli
