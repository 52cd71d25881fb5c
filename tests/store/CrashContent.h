// What the crash test's writer writes, in two versions each, so that the test can tell old from
// new from torn.
#pragma once
#include <string>

inline constexpr const char* kCrashProjectKey = "file:/projects/crash.pln";
inline constexpr const char* kCrashFileRef = "cap-0123456789abcdef0123456789abcdef";

inline const std::string& CrashContentA() {
    static const std::string a(300 * 1024, 'a');
    return a;
}
inline const std::string& CrashContentB() {
    static const std::string b(200 * 1024, 'b');
    return b;
}
inline const std::string& CrashStateA() {
    static const std::string a = "{\"version\":\"" + std::string(40 * 1024, 'A') + "\"}";
    return a;
}
inline const std::string& CrashStateB() {
    static const std::string b = "{\"version\":\"" + std::string(90 * 1024, 'B') + "\"}";
    return b;
}
