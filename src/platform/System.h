// Small facts about the process: its thread ids, the path of the add-on's own module file,
// file existence and the path separator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// The calling thread's id.
uint32_t CurrentThreadId();

// The add-on module file's full path in UTF-8; empty when it cannot be read.
std::string ModuleFilePath();

// True when the file's attributes can be read.
bool FileExists(const std::string& path);

// '\\' on Windows, '/' elsewhere.
char PathSeparator();

// Tests that link the add-on directly stand in for the module file; empty restores the real path.
void SetModuleFilePathForTesting(const std::string& path);

// True when the environment variable is set to a value that fits a zeroed buffer of
// `bufferSize` bytes with its terminator (1 to bufferSize - 1 characters) and begins with "1".
bool EnvironmentFlag(const char* name, size_t bufferSize);

// The computer's name (its NetBIOS name on Windows, the host name elsewhere) in UTF-16; empty
// when it cannot be read or is longer than 15 units.
std::u16string ComputerName();
