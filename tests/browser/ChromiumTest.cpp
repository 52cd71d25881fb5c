// The adapter script and the reference panel in a real browser engine: Debian's Chromium,
// headless. When Chromium cannot start, main says why and the suite reports itself skipped.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include "platform/Utf.h"
#include "sim/PanelDriver.h"
#include "sim/SimOptions.h"
#include "sim/RenderFlow.h"
#include "sim/browser/ChromiumPage.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/service/SimService.h"
#include "support/ExpectedViolations.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string& AdapterScript() {
    static const std::string script = ReadText(fs::path(TOVR_SOURCE_DIR) / "src/panel/adapter.js");
    return script;
}

std::unique_ptr<ChromiumPage> StartPage(std::string* error) { return ChromiumPage::Start({}, error); }

// Loads HTML and delivers loading changes until the page has loaded.
void LoadAndWait(ChromiumPage& page, const std::string& html) {
    page.LoadHtml(std::u16string(html.begin(), html.end()));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (page.IsLoading() && std::chrono::steady_clock::now() < deadline) {
        page.Pump();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_FALSE(page.IsLoading()) << "the page did not load";
}

std::string Eval(ChromiumPage& page, const std::string& expression) {
    std::string error;
    auto value = page.Evaluate(expression, &error);
    EXPECT_TRUE(value.has_value()) << expression << ": " << error;
    return value.value_or("");
}

// A page whose setInterval only runs when the test ticks it, and whose bridge keeps what it
// receives.
constexpr const char* kFakeTimerPage =
    "<html><body><script>"
    "window.received=[];window.TamselBridge={receive:function(m){received.push(m)}};"
    "window.timers=[];window.setInterval=function(f,ms){timers.push({f:f,ms:ms,on:true});return timers.length};"
    "window.clearInterval=function(id){if(timers[id-1])timers[id-1].on=false};"
    "window.tick=function(n){for(var i=0;i<n;i++)timers.forEach(function(t){if(t.on)t.f()})};"
    "window.running=function(){return timers.filter(function(t){return t.on}).length};"
    "</script></body></html>";

class AdapterInChromium : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        page = StartPage(&error);
        ASSERT_TRUE(page) << error;
    }
    // A native TamselAC whose post keeps each argument.
    void InstallNative() {
        page->RegisterNativeObject({"TamselAC", {{"post", [this](const NativeArg& a) {
                                                      posted.push_back(a);
                                                      return true;
                                                  }}}});
    }
    void PumpFor(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end) {
            page->Pump();
            std::this_thread::sleep_for(5ms);
        }
    }
    std::unique_ptr<ChromiumPage> page;
    std::vector<NativeArg> posted;
};

TEST_F(AdapterInChromium, RequestsWaitForTheNativeObjectAndAreFlushedInOrderByTheRetry) {
    LoadAndWait(*page, kFakeTimerPage);
    Eval(*page, AdapterScript());
    Eval(*page, "tamselHost.send({id:'a',type:'getState'}),tamselHost.send({id:'b',type:'listViews',payload:{x:[1]}})");
    EXPECT_EQ(Eval(*page, "running()"), "1") << "one retry timer for all waiting requests";
    EXPECT_EQ(Eval(*page, "timers[0].ms"), "50");
    Eval(*page, "tick(10)");
    PumpFor(100ms);
    EXPECT_TRUE(posted.empty());

    InstallNative();
    Eval(*page, "tick(1)");
    PumpFor(200ms);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].kind, NativeArg::Kind::String);
    EXPECT_EQ(posted[0].text, R"({"id":"a","type":"getState"})");
    EXPECT_EQ(posted[1].text, R"({"id":"b","type":"listViews","payload":{"x":[1]}})");
    EXPECT_EQ(Eval(*page, "running()"), "0") << "the timer stops once flushed";
    EXPECT_EQ(Eval(*page, "received.length"), "0");

    // Once the object is there, a request goes at once.
    Eval(*page, "tamselHost.send({id:'c'})");
    PumpFor(100ms);
    ASSERT_EQ(posted.size(), 3u);
    EXPECT_EQ(posted[2].text, R"({"id":"c"})");
}

TEST_F(AdapterInChromium, TheRealRetryTimerPostsSoonAfterTheNativeObjectAppears) {
    LoadAndWait(*page, "<html><body></body></html>");
    Eval(*page, AdapterScript());
    Eval(*page, "tamselHost.send({id:'late'})");
    PumpFor(150ms);
    EXPECT_TRUE(posted.empty());
    InstallNative();
    const auto registered = std::chrono::steady_clock::now();
    while (posted.empty() && std::chrono::steady_clock::now() - registered < 2s) PumpFor(5ms);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].text, R"({"id":"late"})");
    // Within a few 50 ms ticks, not at some later moment.
    EXPECT_LT(std::chrono::steady_clock::now() - registered, 500ms);
}

TEST_F(AdapterInChromium, EveryWaitingRequestFailsUnavailableOnThe401stTick) {
    LoadAndWait(*page, kFakeTimerPage);
    Eval(*page, AdapterScript());
    Eval(*page, "tamselHost.send({id:'first'}),tamselHost.send({id:'second'})");
    Eval(*page, "tick(400)");
    EXPECT_EQ(Eval(*page, "received.length"), "0") << "still waiting after 400 ticks (20 s)";
    Eval(*page, "tick(1)");
    EXPECT_EQ(Eval(*page, "JSON.stringify(received)"),
              R"("[{\"id\":\"first\",\"ok\":false,\"error\":{\"code\":\"unavailable\",\"message\":\"Archicad host unavailable\"}},)"
              R"({\"id\":\"second\",\"ok\":false,\"error\":{\"code\":\"unavailable\",\"message\":\"Archicad host unavailable\"}}]")");
    EXPECT_EQ(Eval(*page, "running()"), "0");
    // A later request waits on a timer of its own.
    Eval(*page, "tamselHost.send({id:'third'})");
    EXPECT_EQ(Eval(*page, "running()"), "1");
}

TEST_F(AdapterInChromium, TheAppIsStartedOnceAndAPagesOwnAdapterIsLeftAlone) {
    LoadAndWait(*page, "<html><body><script>window.inits=0;window.TamselApp={init:function(){inits++}};</script></body></html>");
    Eval(*page, AdapterScript());
    EXPECT_EQ(Eval(*page, "inits"), "1");
    EXPECT_EQ(Eval(*page, "window.__tamselInit"), "true");
    Eval(*page, "window.tamselHost=undefined");
    Eval(*page, AdapterScript());
    EXPECT_EQ(Eval(*page, "inits"), "1") << "a second injection does not start the app again";

    LoadAndWait(*page,
                "<html><body><script>window.inits=0;window.TamselApp={init:function(){inits++}};"
                "window.own={archicad:true,send:function(){}};window.tamselHost=own;</script></body></html>");
    Eval(*page, AdapterScript());
    EXPECT_EQ(Eval(*page, "window.tamselHost===own"), "true");
    EXPECT_EQ(Eval(*page, "inits"), "0");
    EXPECT_EQ(Eval(*page, "window.__tamselInit===undefined"), "true");
}

// A folder of its own, removed with everything in it; the add-on's data and configuration go there.
class Scratch {
public:
    Scratch() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("tovr-browser-" + std::to_string(random()));
        fs::create_directories(root_);
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    const fs::path& Root() const { return root_; }

private:
    fs::path root_;
};

// The module in the simulated host with its palette's page in Chromium.
class PanelInChromium : public ::testing::Test {
protected:
    void Load(const fs::path& modulePath) {
        std::string error;
        module = LoadAddonModule(modulePath.string(), &error);
        ASSERT_TRUE(module) << error;
        if (!page) page = StartPage(&error);
        ASSERT_TRUE(page) << error;
        host = std::make_unique<SimHost>(module->Entry());
    }
    // The simulated service, approving each device code at its first poll, the module pointed at it.
    std::unique_ptr<SimService> StartService() {
        const TestPki pki = MakeTestPki();
        const std::string caFile = (scratch.Root() / "ca.pem").string();
        WriteCaPem(pki, caFile);
        SimService::Options options;
        options.routes.pollInterval = 1s;
        auto service = std::make_unique<SimService>(pki, options);
        RequestRules rules;
        rules.language = ExpectedUiLanguage(host->languageCode);
        service->SetRules(rules);
        service->Start();
        service->Routes().SetApproveAtFirstPoll(true);
        host->UseService(service->Port(), caFile);
        return service;
    }
    void TearDown() override {
        driver.reset();
        host.reset();  // releases the add-on when it is still loaded
        page.reset();
    }
    Scratch scratch;
    std::unique_ptr<LoadedModule> module;
    std::unique_ptr<ChromiumPage> page;
    std::unique_ptr<SimHost> host;
    std::unique_ptr<PanelDriver> driver;
};

TEST_F(PanelInChromium, TheFallbackPageIsShownInTheHostsLanguageWithTheAdapterInstalled) {
    const struct {
        const char* code;
        const char* text;
    } languages[] = {
        {"POR", "Os arquivos do painel não foram encontrados ao lado do complemento (pasta TamselOvra-ui). Reinstale o Ovra."},
        {"ENG", "The panel files were not found next to the add-on (TamselOvra-ui folder). Reinstall Ovra."},
        {"SPA", "No se encontraron los archivos del panel junto al complemento (carpeta TamselOvra-ui). Reinstala Ovra."},
    };
    for (const auto& language : languages) {
        SCOPED_TRACE(language.code);
        // The module alone in a folder, no TamselOvra-ui beside it; a copy of its own for each
        // language, so each host loads a fresh add-on.
        const fs::path alone = scratch.Root() / language.code;
        fs::create_directories(alone);
        fs::copy_file(TOVR_MODULE_FILE, alone / "TamselOvra.so");
        driver.reset();
        host.reset();
        Load(alone / "TamselOvra.so");
        host->languageCode = language.code;
        driver = std::make_unique<PanelDriver>(*host, page.get());
        std::string error;
        ASSERT_TRUE(driver->Open(&error)) << error;
        ASSERT_TRUE(driver->WaitForScript("window.tamselHost&&typeof window.tamselHost.send==='function'", 10s, &error))
            << error;
        EXPECT_EQ(driver->Text("p"), language.text);
        EXPECT_EQ(driver->Text("h3"), "Tamsel Ovra");
    }
}

TEST_F(PanelInChromium, TheReferencePanelSignsInAndShowsEachReplyOrItsMessage) {
    Load(TOVR_MODULE_FILE);
    const std::unique_ptr<SimService> started = StartService();
    SimService& service = *started;
    host->project.name = "Casa Ribeira";

    driver = std::make_unique<PanelDriver>(*host, page.get());
    std::string error;
    ASSERT_TRUE(driver->Open(&error)) << error;
    ASSERT_EQ(driver->Page().Loads().size(), 1u);
    EXPECT_NE(driver->Page().Loads()[0].text.find("/TamselOvra-ui/index.html?skin=archicad&lang=en"), std::string::npos);

    // getState: the panel shows the project and the signed-out view.
    ASSERT_TRUE(driver->WaitForScript("document.body.dataset.session==='signed-out'", 15s, &error)) << error;
    EXPECT_EQ(driver->Text("#project"), "Casa Ribeira");
    EXPECT_EQ(driver->Text("#signin-start"), "Sign in");
    EXPECT_EQ(Eval(*page, "document.getElementById('main-view').hidden"), "true");

    // Usable at the palette's smallest size: nothing wider than 300 px.
    ASSERT_TRUE(page->SetViewport(300, 380));
    EXPECT_EQ(Eval(*page, "document.documentElement.scrollWidth<=300"), "true");
    ASSERT_TRUE(page->SetViewport(360, 640));

    // Sign in with a click; the service approves at the first poll.
    ASSERT_TRUE(page->Click("#signin-start", &error)) << error;
    ASSERT_TRUE(driver->WaitForScript("document.body.dataset.session==='signed-in'", 20s, &error)) << error;
    EXPECT_EQ(Eval(*page, "document.getElementById('device-box').hidden"), "true") << "the code box closes once signed in";
    ASSERT_TRUE(driver->WaitForScript("document.getElementById('credits').dataset.credits==='10'", 10s, &error)) << error;
    EXPECT_EQ(driver->Text("#credits"), "10 credits");

    // The listing follows the sign-in; the panel shows its views, or the message its error came with.
    ASSERT_TRUE(driver->WaitForScript("document.getElementById('views-grid').dataset.state!=='loading'&&"
                                      "document.body.dataset.busy==='0'",
                                      20s, &error))
        << error;
    const ScriptedPage::Message* views = nullptr;
    for (const auto& m : driver->Page().Messages())
        if (m.json.find("\"views\"") != std::string::npos || m.ErrorCode() == "unsupported") views = &m;
    ASSERT_NE(views, nullptr) << "no listViews reply reached the page";
    if (views->Ok()) {
        EXPECT_EQ(Eval(*page, "document.querySelectorAll('.view-card').length"),
                  std::to_string((*views->document)["result"]["views"].Size()));
    } else {
        const rapidjson::Value& message = (*views->document)["error"]["message"];
        EXPECT_EQ(driver->Text("#error-message"), std::string(message.GetString(), message.GetStringLength()));
        EXPECT_EQ(Eval(*page, "document.getElementById('error').dataset.code"), "\"" + views->ErrorCode() + "\"");
    }
    EXPECT_TRUE(page->PageErrors().empty()) << page->PageErrors().front();

    // Sign out: the service is told and the panel is back to its sign-in view.
    ASSERT_TRUE(page->Click("#signout", &error)) << error;
    ASSERT_TRUE(driver->WaitForScript("document.body.dataset.session==='signed-out'", 10s, &error)) << error;
    EXPECT_EQ(service.Routes().Account().activeTokens, 0u);
    driver.reset();
    host->Release();
    service.Stop();
    ExpectedViolations().Check(service.Violations());
}

// The whole render as a person clicks through it: every step answered, and what each one did
// found where it belongs: the service's upload, job and credits, the picture on the worksheet,
// the file in the project's folder, the pick of that file.
TEST_F(PanelInChromium, TheReferencePanelRunsTheWholeRenderFromSignInToPickingTheSavedFile) {
    Load(TOVR_MODULE_FILE);
    const std::unique_ptr<SimService> started = StartService();
    SimService& service = *started;
    const fs::path projectFolder = scratch.Root() / "Casa Ribeira";
    const fs::path out = scratch.Root() / "out";
    fs::create_directories(projectFolder);
    fs::create_directories(out);
    host->project = {false, false, (projectFolder / "Casa Ribeira.pln").string(), "Casa Ribeira"};

    driver = std::make_unique<PanelDriver>(*host, page.get());
    FlowRun run(*driver, *host, service, scratch.Root() / "data" / "Ovra for Archicad", out);
    std::vector<std::string> failed;
    const std::vector<StepOutcome> outcomes = RunFlowSteps(run, [&](size_t, StepOutcome& step) {
        if (!step.ok) failed.push_back(step.name + ": " + step.detail);
    });
    ASSERT_EQ(outcomes.size(), FlowStepNames().size()) << (failed.empty() ? "" : failed.front());
    EXPECT_TRUE(failed.empty()) << failed.front();
    EXPECT_TRUE(page->PageErrors().empty()) << page->PageErrors().front();

    // Two captures of the house, one upload of the second, one paid job charged once.
    ASSERT_EQ(run.captures.size(), 2u);
    EXPECT_EQ(ReadText(out / run.captures[0].file).substr(0, 3), "\xFF\xD8\xFF");
    const auto account = service.Routes().Account();
    EXPECT_EQ(account.uploads, 1u);
    EXPECT_EQ(account.jobs, 1u);
    EXPECT_EQ(run.creditsBefore - account.credits, 1);
    const auto uploads = service.Routes().Uploads();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].size, fs::file_size(out / run.captures[1].file));

    // The downloaded result is the picture on the worksheet and the file in the project folder.
    ASSERT_EQ(run.results.size(), 1u);
    const std::string result = ReadText(out / run.results[0].file);
    ASSERT_EQ(host->model.worksheets.size(), 1u);
    ASSERT_EQ(host->model.worksheets[0].pictures.size(), 1u);
    const auto& placed = host->model.worksheets[0].pictures[0].bytes;
    EXPECT_EQ(std::string(placed.begin(), placed.end()), result);
    EXPECT_EQ(Utf16ToUtf8(host->model.worksheets[0].name), run.placedLabel);
    EXPECT_EQ(ReadText(projectFolder / "Tamsel Ovra" / "render.png"), result);
    ASSERT_EQ(run.worksheets.size(), 1u);
    EXPECT_EQ(ReadText(out / run.worksheets[0].file).substr(1, 3), "PNG");

    // The pick was of that saved file, linked and described in the panel.
    EXPECT_EQ(run.pickedName, "render.png");
    // "render.png · 412 kB": the file's size in decimal units, near the saved file's own.
    const std::string info = driver->Text("#source-info");
    std::smatch size;
    ASSERT_TRUE(std::regex_match(info, size, std::regex("render\\.png · ([0-9]+(\\.[0-9])?)\xC2\xA0(B|kB|MB)"))) << info;
    const double unit = size[3] == "MB" ? 1e6 : size[3] == "kB" ? 1e3 : 1;
    EXPECT_NEAR(std::stod(size[1]) * unit, static_cast<double>(result.size()), 0.05 * static_cast<double>(result.size())) << info;
    driver.reset();
    host->Release();
    service.Stop();
    ExpectedViolations().Check(service.Violations());
}
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string error;
    if (!StartPage(&error)) {
        // ctest reports the suite as skipped (SKIP_RETURN_CODE), never as passed.
        std::printf("browser tests skipped: %s\n", error.c_str());
        return 77;
    }
    return RUN_ALL_TESTS();
}
