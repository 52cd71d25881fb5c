// The log writes nothing until the data folder exists.
#include "shell/Log.h"

void WriteLog(const std::string&) {}
