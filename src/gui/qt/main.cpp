// SPDX-License-Identifier: MIT
// The program's entry: everything it does is in the libraries (gui/qt/startup.h).
#include "gui/qt/startup.h"

int main(int argc, char* argv[])
{
    return orvik::RunProgram(argc, argv);
}
