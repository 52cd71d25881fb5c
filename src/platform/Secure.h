// Overwriting secret material with zeros before its memory is released.
#pragma once
#include <cstddef>
#include <string>

// Zeros the bytes in a way the compiler may not remove.
void SecureZero(void* data, size_t size);

// Zeros the string's whole capacity, then empties it.
void SecureWipe(std::string& secret);
