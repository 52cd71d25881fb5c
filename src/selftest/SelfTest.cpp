// The self-test is never armed yet; replies to self-test ids are swallowed.
#include "selftest/SelfTest.h"

bool IsSelfTestMode() { return false; }
void SelfTestStep(Palette&) {}
void SelfTestResult(Palette&, const std::string&, bool, const std::string&) {}
