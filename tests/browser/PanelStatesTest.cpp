// What a person sees in the reference panel: the real ui/ files in headless Chromium, answered by a
// stand-in host (StandInHost.js) as the add-on answers. For each state of a render, in each language
// and at the palette's two sizes, the elements meant to be shown are shown and every other one is
// hidden, nothing is wider than the panel or cut off at its side, and what is shown has names for
// assistive technology. Every state is kept as a screenshot in panel-states/ (or the folder
// TOVR_PANEL_STATES_DIR names), listed by its index.html. All cases share one browser.
#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "tests/browser/PanelPage.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
using Names = std::vector<std::string>;

Names Join(std::initializer_list<Names> groups) {
    Names all;
    for (const Names& group : groups) all.insert(all.end(), group.begin(), group.end());
    return all;
}

// The elements of the panel by the parts of its layout they belong to.
const Names kHeader = {"#top", "#app-title", "#project"};
const Names kAccount = {"#account", "#account-name", "#credits", "#refresh-credits", "#signout"};
const Names kSignIn = {"#signin-view", "#signin-start"};
const Names kCode = {"#device-box", "#user-code", "#open-verification", "#signin-cancel", "#status"};
const Names kViews = {"#main-view", "#views-section", "#views-refresh", "#views-grid", ".view-card",
                      "#capture-btn", "#pick-btn", "#generate-section", "#prompt", "#generate-btn"};
const Names kSource = {"#source-section", "#source-preview", "#source-info"};
const Names kJob = {"#job-progress", "#job-status"};
const Names kResult = {"#result-section", "#result-preview", "#place-btn", "#save-btn"};
const Names kError = {"#error", "#error-message", "#error-dismiss"};

struct PanelState {
    const char* name;
    Names shown;   // every element with an id not listed here, and every view card unless listed, is hidden
    Names inView;  // within the viewport when the state is reached at the smaller size
};

// The heart of the test: which elements each state shows.
const std::vector<PanelState>& States() {
    static const std::vector<PanelState> states = {
        {"signed-out", Join({kHeader, kSignIn}), {}},
        {"code-shown", Join({kHeader, kSignIn, kCode}), {"#user-code"}},
        {"views-listed", Join({kHeader, kAccount, kViews}), {}},
        {"capture-shown", Join({kHeader, kAccount, kViews, kSource}), {}},
        {"generating", Join({kHeader, kAccount, kViews, kSource, kJob}), {}},
        {"result", Join({kHeader, kAccount, kViews, kSource, kJob, kResult}), {"#result-section", "#place-btn", "#save-btn"}},
        // A picked file has no preview: its picture's place is not kept empty.
        {"file-picked", Join({kHeader, kAccount, kViews, {"#source-section", "#source-info"}, kJob, kResult, {"#result-info"}}), {}},
        // The account's name and credits stay hidden: the request for them failed.
        {"error", Join({kHeader, {"#account", "#refresh-credits", "#signout"}, kError, kViews}), {"#error"}},
        {"no-credits", Join({kHeader, kAccount, kViews, kSource, kError, {"#buy-credits"}}), {"#error", "#buy-credits"}},
        // Opened in a plain browser, and in a host whose adapter found no native object.
        {"no-host", {"#top", "#app-title", "#outside-host"}, {"#outside-host"}},
        {"host-unavailable", {"#top", "#app-title", "#outside-host"}, {"#outside-host"}},
    };
    return states;
}

const PanelState& State(const std::string& name) {
    for (const PanelState& state : States())
        if (name == state.name) return state;
    throw std::logic_error("no state " + name);
}

const char* const kLanguages[] = {"pt", "en", "es"};

std::string JsonList(const Names& names) {
    std::string list = "[";
    for (const std::string& name : names) list += (list.size() > 1 ? "," : "") + JsonText(name);
    return list + "]";
}

std::vector<std::string> Strings(const rapidjson::Value& list) {
    std::vector<std::string> out;
    if (list.IsArray())
        for (const auto& item : list.GetArray())
            if (item.IsString()) out.emplace_back(item.GetString(), item.GetStringLength());
    return out;
}

fs::path ScreenshotFolder() {
    const char* chosen = getenv("TOVR_PANEL_STATES_DIR");
    return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::current_path() / "panel-states";
}

// The table's check of one state at every size, each kept as a screenshot.
class EveryState : public PanelPage {
protected:
    void Check(const std::string& lang, const std::string& stateName) {
        const PanelState& state = State(stateName);
        SCOPED_TRACE(lang + " " + stateName);
        // Reached at the smaller size: what the state is for is in view there without scrolling.
        for (const std::string& selector : state.inView) {
            const std::string where = Text("(e=>{if(!e)return 'not in the page';const r=e.getBoundingClientRect();"
                                           "return r.top>-1&&r.bottom<innerHeight+1?'':Math.round(r.top)+'..'+Math.round(r.bottom)+"
                                           "' of '+innerHeight+' px'})(document.querySelector(" + JsonText(selector) + "))");
            EXPECT_EQ(where, "") << selector << " is not in view at " << kSmallest.width << "x" << kSmallest.height;
        }
        for (const PanelSize& size : {kSmallest, kUsual}) {
            const std::string where = std::to_string(size.width) + "x" + std::to_string(size.height);
            SCOPED_TRACE(where);
            ASSERT_TRUE(Page().SetViewport(size.width, size.height));
            Eval("new Promise(r=>requestAnimationFrame(()=>requestAnimationFrame(r)))");
            rapidjson::Document found;
            found.Parse(Eval("panelProbe(" + JsonList(state.shown) + ")").c_str());
            ASSERT_TRUE(found.IsObject());
            for (const char* kind : {"visibility", "overflow", "access"}) {
                const std::vector<std::string> lines = Strings(found[kind]);
                EXPECT_TRUE(lines.empty()) << kind << ":" << Lines(lines);
                for (const std::string& line : lines) failures_.insert(lang + " " + stateName + " " + where + " " + kind + ": " + line);
            }
            Keep(lang + "-" + stateName + "-" + where + ".png", lang, stateName, where);
        }
        ASSERT_TRUE(Page().SetViewport(kSmallest.width, kSmallest.height));
    }

    void Keep(const std::string& file, const std::string& lang, const std::string& state, const std::string& size) {
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(Page().Screenshot(&png, &error)) << error;
        const fs::path folder = ScreenshotFolder();
        fs::create_directories(folder);
        std::ofstream(folder / file, std::ios::binary).write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        index_ += "<figure><img src=\"" + file + "\" alt=\"\"><figcaption>" + lang + " · " + state + " · " + size + "</figcaption></figure>\n";
    }

    void WriteIndex() {
        std::ofstream(ScreenshotFolder() / "index.html")
            << "<!doctype html><meta charset=\"utf-8\"><title>The panel's states</title>\n"
               "<style>body{font:13px sans-serif}figure{display:inline-block;vertical-align:top;margin:6px}"
               "img{border:1px solid #999;display:block}</style>\n<h1>The panel's states</h1>\n"
            << index_;
    }

    std::string index_;
    std::set<std::string> failures_;
};

TEST_F(EveryState, ShowsOnlyItsElementsFitsThePanelAndNamesWhatItShowsInEveryLanguageAndSize) {
    for (const char* lang : kLanguages) {
        SCOPED_TRACE(lang);
        Open(lang, "");
        EXPECT_TRUE(WaitFor("document.body.dataset.session==='signed-out'")) << "not signed out";
        Check(lang, "signed-out");
        Click("#signin-start");
        EXPECT_TRUE(WaitFor("document.getElementById('user-code').textContent")) << "no code shown";
        Check(lang, "code-shown");

        Open(lang, "standIn.signedIn=true");
        EXPECT_TRUE(WaitFor("document.getElementById('views-grid').dataset.state==='listed'&&"
                            "document.getElementById('credits').dataset.credits==='10'"))
            << "the views were not listed";
        Check(lang, "views-listed");
        Click("#capture-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('source-info').textContent")) << "the capture is not shown";
        Check(lang, "capture-shown");
        Click("#generate-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('job-status').dataset.status==='running'")) << "the job is not shown";
        Check(lang, "generating");
        Eval("standIn.jobDone=true");
        EXPECT_TRUE(WaitFor("document.getElementById('result-preview').dataset.fileRef&&"
                            "document.getElementById('result-preview').complete"))
            << "no result";
        Eval("new Promise(r=>setTimeout(r,100))");  // the scroll that follows the picture's decoding
        Check(lang, "result");
        Click("#save-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('result-info').textContent")) << "the save is not told";
        Click("#pick-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('source-info').textContent.startsWith('render.png')")) << "the pick is not shown";
        Check(lang, "file-picked");

        // The listing that follows the failed request for the account leaves its error in place.
        Open(lang, "standIn.signedIn=true;standIn.meFails=true");
        EXPECT_TRUE(WaitFor("document.getElementById('views-grid').dataset.state==='listed'")) << "the views were not listed";
        Check(lang, "error");

        Open(lang, "standIn.signedIn=true;standIn.noCredits=true");
        EXPECT_TRUE(WaitFor("document.getElementById('views-grid').dataset.state==='listed'")) << "the views were not listed";
        Click("#capture-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('source-info').textContent")) << "the capture is not shown";
        Click("#generate-btn");
        EXPECT_TRUE(WaitFor("document.getElementById('error').dataset.code==='no_credits'")) << "no error shown";
        Check(lang, "no-credits");

        Open(lang, nullptr);
        EXPECT_TRUE(WaitFor("(e=>e&&!e.hidden)(document.getElementById('outside-host'))", 5s)) << "nothing says where the panel runs";
        Check(lang, "no-host");

        Open(lang, "standIn.unavailable=true");
        EXPECT_TRUE(WaitFor("(e=>e&&!e.hidden)(document.getElementById('outside-host'))")) << "nothing says where the panel runs";
        Check(lang, "host-unavailable");
    }
    WriteIndex();
    // Every finding once, beside the screenshots; none left from an earlier run when there are none.
    const fs::path findings = ScreenshotFolder() / "findings.txt";
    std::error_code ignored;
    fs::remove(findings, ignored);
    if (!failures_.empty()) std::ofstream(findings) << Lines({failures_.begin(), failures_.end()}) << "\n";
}
}  // namespace
