// SPDX-License-Identifier: MIT
// orvik-repair: repairs damaged French accents in files or a pipeline.
#include "cli/cli.h"
#include "cli/system.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
// The arguments as the user typed them, whatever the code page: every file name can be opened.
// Neither cmd.exe nor PowerShell expands *.txt: the program does.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> typed;
    for (int i = 1; i < argc; ++i)
        typed.push_back(orvik::cli::Utf8FromWide(argv[i]));
    const std::vector<std::string> words = orvik::cli::ExpandWildcards(typed);
    const std::vector<std::string_view> args(words.begin(), words.end());
    return orvik::cli::RunRepairCommand(args);
}
#else
int main(int argc, char** argv)
{
    // Before any file is opened, so that none can take a closed standard stream's place.
    if (!orvik::cli::HoldClosedStandardStreams()) {
        std::fputs("orvik-repair: /dev/null: ouverture impossible, un flux standard fermé ne peut "
                   "pas être tenu\n",
            stderr);
        return orvik::cli::kExitFileError;
    }
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return orvik::cli::RunRepairCommand(args);
}
#endif
