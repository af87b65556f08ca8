// The French texts the filter shows: error descriptions and the help.
#pragma once

#include <string>
#include <string_view>

namespace orvik::cli {

// A short French description of an errno value, for "orvik-repair: FICHIER: raison".
std::string DescribeError(int error);

// The text of --help.
std::string_view HelpText();

} // namespace orvik::cli
