// The host log: one time-stamped line per notable step. Host thread only.
#pragma once
#include <string>

void WriteLog(const std::string& text);
