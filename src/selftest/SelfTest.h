// The self-test: a scripted run of bridge requests whose results go to the log.
#pragma once
#include <string>
#include <string_view>

class Palette;

// Replies to ids with this prefix go to the self-test, never to the page.
inline constexpr std::string_view kSelfTestIdPrefix = "selftest-";

bool IsSelfTestMode();
// Advances the self-test by one step; called after each model-operation step.
void SelfTestStep(Palette& palette);
// Receives the result or error object of a reply to a self-test request.
void SelfTestResult(Palette& palette, const std::string& id, bool ok, const std::string& json);
