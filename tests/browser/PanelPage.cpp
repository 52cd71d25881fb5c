// The panel in Chromium with the stand-in host: loading, waiting and clicking.
#include "tests/browser/PanelPage.h"

#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Utf.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
std::string ReadSource(const char* path) {
    std::ifstream in(fs::path(TOVR_SOURCE_DIR) / path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string RequestsOf(const std::string& type, const std::string& path) {
    return "standIn.requests.filter(r=>r.type===" + JsonText(type) +
           (path.empty() ? "" : "&&r.payload.path===" + JsonText(path)) + ")";
}
}  // namespace

std::string JsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += "\n  " + line;
    return text;
}

void PanelPage::SetUpTestSuite() { page_ = ChromiumPage::Start({}, &startError_); }

void PanelPage::TearDownTestSuite() { page_.reset(); }

void PanelPage::SetUp() {
    ASSERT_TRUE(page_) << startError_;
    ASSERT_TRUE(page_->SetViewport(kSmallest.width, kSmallest.height));
    errorsBefore_ = page_->PageErrors().size();
}

void PanelPage::TearDown() {
    if (!page_) return;
    const std::vector<std::string> errors = page_->PageErrors();
    EXPECT_EQ(errors.size(), errorsBefore_) << "the page reported errors:"
                                            << Lines({errors.begin() + static_cast<std::ptrdiff_t>(errorsBefore_), errors.end()});
}

void PanelPage::Open(const std::string& lang, const char* switches) {
    const fs::path index = fs::path(TOVR_SOURCE_DIR) / "ui" / "index.html";
    Page().LoadUrl(Utf8ToUtf16("file://" + index.generic_string() + "?lang=" + lang));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (Page().IsLoading() && std::chrono::steady_clock::now() < deadline) {
        Page().Pump();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_FALSE(Page().IsLoading()) << "the panel did not load";
    Eval(ReadSource("tests/browser/PanelProbe.js"));
    if (switches == nullptr) return;
    Eval(ReadSource("tests/browser/StandInHost.js"));
    Eval(std::string(switches) + ";window.TamselApp.init();true");
}

std::string PanelPage::Eval(const std::string& expression) {
    std::string error;
    auto value = Page().Evaluate(expression, &error);
    EXPECT_TRUE(value.has_value()) << expression.substr(0, 200) << ": " << error;
    return value.value_or("");
}

std::string PanelPage::Text(const std::string& expression) {
    rapidjson::Document d;
    d.Parse(Eval(expression).c_str());
    return d.IsString() ? std::string(d.GetString(), d.GetStringLength()) : std::string();
}

bool PanelPage::Holds(const std::string& expression) { return Eval("!!(" + expression + ")") == "true"; }

bool PanelPage::WaitFor(const std::string& expression, std::chrono::milliseconds timeout) {
    const std::string settled = "!!(!Number(document.body.dataset.busy||0)&&(" + expression + "))";
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        auto value = Page().Evaluate(settled);
        if (value && *value == "true") return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

void PanelPage::Click(const std::string& selector) {
    std::string error;
    EXPECT_TRUE(Page().Click(selector, &error)) << error;
}

std::string PanelPage::LastPayload(const std::string& type, const std::string& path) {
    return Text("JSON.stringify((" + RequestsOf(type, path) + ".pop()||{}).payload||null)");
}

int PanelPage::Count(const std::string& type, const std::string& path) {
    return std::atoi(Eval(RequestsOf(type, path) + ".length").c_str());
}
