// The bytes of a result named by a file reference or by a service path, for placing and saving.
#pragma once
#include <string>

#include "platform/Secure.h"

struct Source {
    std::string fileRef;
    std::string path;
};

// The stored file when the source names one (a reference that is set wins, and one that does
// not resolve is "missing_file"); else a GET of the service path with the token. Blocking when it
// downloads: worker threads only. False with `code` set on failure.
bool FetchSource(const Source& source, const SecretString& token, const std::u16string& language, std::string* bytes,
                 std::string* code);
