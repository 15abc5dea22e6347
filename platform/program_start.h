#pragma once
// What a program's entry point takes from the system before anything else.
#include <string>
#include <vector>

namespace platform {

// The arguments after the program's own name, in UTF-8. On Windows they
// come from the wide command line, so names outside the code page survive;
// `argv` there is only what the C runtime made of them.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes the terminal show the UTF-8 the program writes (Windows consoles
// otherwise read it in the system's code page). Nothing to do elsewhere.
void UseUtf8Terminal();

}  // namespace platform
