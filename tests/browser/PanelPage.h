// The reference panel's real ui/ files in headless Chromium, answered by the stand-in host of
// StandInHost.js: a fixture whose test suite shares one browser, with the steps a test takes in
// the page (open in a language, wait, click) and what the stand-in was asked.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "sim/browser/ChromiumPage.h"

// The smallest palette, where the panel is opened; and the palette's usual size.
struct PanelSize {
    int width, height;
};
constexpr PanelSize kSmallest{300, 380};
constexpr PanelSize kUsual{360, 640};

std::string JsonText(const std::string& text);
// One line of each, indented: for a failure's message.
std::string Lines(const std::vector<std::string>& lines);

class PanelPage : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    // At the smallest size, with no page error counted yet.
    void SetUp() override;
    // The page reported no error (an exception, a console error) during the case.
    void TearDown() override;

    ChromiumPage& Page() { return *page_; }

    // Loads the panel in `lang` (pt, en, es). With `switches` (a script setting window.standIn's
    // switches) the stand-in answers for the host and the panel is started once the page has
    // loaded, as the add-on's adapter starts it; without, the page is on its own, as in a plain
    // browser.
    void Open(const std::string& lang, const char* switches);
    // The expression's value as JSON text; a failure when it threw.
    std::string Eval(const std::string& expression);
    // The value of an expression that gives a string.
    std::string Text(const std::string& expression);
    bool Holds(const std::string& expression);
    // Waits until the expression holds and the panel has no request in flight.
    bool WaitFor(const std::string& expression, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // A person's click.
    void Click(const std::string& selector);
    // The stand-in's requests of a type (and api path): the payload of the last one as JSON text
    // ("null" when none), and how many there were.
    std::string LastPayload(const std::string& type, const std::string& path = "");
    int Count(const std::string& type, const std::string& path = "");

private:
    inline static std::unique_ptr<ChromiumPage> page_;
    inline static std::string startError_;
    size_t errorsBefore_ = 0;
};
