// orvik-repair: repairs damaged French accents in files or a pipeline.
#include "cli/cli.h"

#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return orvik::cli::RunRepairCommand(args);
}
