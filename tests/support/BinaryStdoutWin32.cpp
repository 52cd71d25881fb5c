// Windows test programs write standard output in binary mode, so GoogleTest's lines (its test
// list among them, which CTest reads to discover the tests) end in LF as on Linux.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {
const int kBinaryStdout = ::_setmode(::_fileno(stdout), _O_BINARY);
}  // namespace
