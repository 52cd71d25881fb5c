// The self-test: a scripted run of bridge requests whose results go to the log, armed by the
// environment. A client of the bridge: it posts its requests through the routing's dispatch and
// receives the replies to its reserved ids through the hook the routing installs; its state is
// its own. Host thread only.
#pragma once
#include <string>

class Palette;

// True when TAMSEL_OVRA_SELFTEST is set to a value of 1 to 3 characters beginning with "1".
bool IsSelfTestMode();
// In self-test mode, starts the run from its first step 8 seconds ahead.
void ArmSelfTest(Palette& palette, bool afterProjectChange);
// Advances the self-test by one step; called after each model-operation step.
void SelfTestStep(Palette& palette);
// Receives the result or error object of a reply to a self-test request.
void SelfTestResult(Palette& palette, const std::string& id, bool ok, const std::string& json);
// Puts the run back to not armed, as a fresh load of the add-on finds it.
void ForgetSelfTestRun();

// The reply's text as logged: each data URL up to its closing quote replaced by
// "<data N chars>", then, when longer than 1,500 bytes, cut to 1,500 bytes or to the start of
// the UTF-8 character that the cut would split, and followed by "...".
std::string ShortenForLog(const std::string& json);
