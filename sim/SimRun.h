// tamsel-sim run: the render flow with the reference panel, driven as a user would drive it, and a
// report folder a person can open.
#pragma once
#include <string>
#include <vector>

// True when the command line asks for the run (its first argument that is not an option is "run").
bool IsRunCommand(const std::vector<std::string>& argv);
// Runs it; the exit status.
int RunRenderFlow(const std::vector<std::string>& argv);
