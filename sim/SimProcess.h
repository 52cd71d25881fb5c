// What the simulator's command-line front needs from the operating system: its arguments as
// UTF-8, standard output that writes exactly the bytes it is given, and where the module is.
#pragma once
#include <string>
#include <vector>

// The program's arguments in UTF-8, the program name first.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Makes standard output write "\n" as a single LF byte, as on every platform.
void UseBinaryStandardOutput();

// The add-on module next to the simulator's own executable.
std::string DefaultModulePath();
