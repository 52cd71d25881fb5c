// What the reference panel does after a click, as a person sees it: an error stays until the
// person acts, a render is charged once until the picture changes, a refusal for want of credits
// offers the service's page for them, every text is in the panel's language, and a page opened
// outside the host says where it runs. The real ui/ files in Chromium, with the stand-in host.
#include "tests/browser/PanelPage.h"

namespace {
const char kListed[] = "document.getElementById('views-grid').dataset.state==='listed'";
const char kErrorShown[] = "!document.getElementById('error').hidden";
const char kCaptured[] = "document.getElementById('source-info').textContent";
const char kSavedCamera[] = ".view-card[data-view-id=\"nav-5A1F0C2E-1B7D-4C3A-9E21-0D4B6F7A8C11\"]";

class PanelBehaviour : public PanelPage {};

TEST_F(PanelBehaviour, AnErrorStaysThroughThePanelsOwnFollowUpsUntilThePersonActs) {
    // The account's request fails at the start; the listing that follows answers well.
    Open("en", "standIn.signedIn=true;standIn.meFails=true");
    ASSERT_TRUE(WaitFor(kListed));
    EXPECT_TRUE(Holds(kErrorShown)) << "the listing wiped the error";
    EXPECT_EQ(Text("document.getElementById('error-message').textContent"), "No connection. Check your internet and try again.");
    EXPECT_EQ(Text("document.getElementById('error').dataset.code"), "network");

    // A click that starts something new clears it; the same failure shows it again.
    Click("#views-refresh");
    ASSERT_TRUE(WaitFor(kListed));
    EXPECT_FALSE(Holds(kErrorShown));
    Click("#refresh-credits");
    ASSERT_TRUE(WaitFor(kErrorShown));
    Click("#error-dismiss");
    EXPECT_FALSE(Holds(kErrorShown));
    EXPECT_EQ(Text("document.getElementById('error-message').textContent"), "");
}

TEST_F(PanelBehaviour, ARenderIsChargedOnceUntilThePictureChanges) {
    Open("en", "standIn.signedIn=true");
    ASSERT_TRUE(WaitFor(kListed));
    EXPECT_EQ(Text("document.getElementById('generate-btn').textContent"), "Generate render · 1 credit")
        << "the cost from the service's configuration";
    Click("#capture-btn");
    ASSERT_TRUE(WaitFor(kCaptured));
    Click("#generate-btn");
    ASSERT_TRUE(WaitFor("document.getElementById('job-status').dataset.status==='running'"));
    EXPECT_TRUE(Holds("document.getElementById('generate-btn').disabled"));
    Click("#generate-btn");
    Eval("standIn.jobDone=true");
    ASSERT_TRUE(WaitFor("document.getElementById('result-preview').dataset.fileRef"));
    Click("#generate-btn");
    EXPECT_TRUE(Holds("document.getElementById('generate-btn').disabled")) << "enabled again with the same picture";
    EXPECT_EQ(Count("api", "/api/v1/generations"), 1);
    EXPECT_EQ(Text("document.getElementById('credits').textContent"), "9 credits");

    // Another view captured: a new picture, shown on its card, may be rendered.
    Click(kSavedCamera);
    Click("#capture-btn");
    ASSERT_TRUE(WaitFor("standIn.captures===2&&" + std::string(kCaptured)));
    EXPECT_TRUE(Holds("document.querySelector('" + std::string(kSavedCamera) + " img').src===standIn.lastPreview"))
        << "the card does not show the capture";
    EXPECT_TRUE(Holds("document.querySelector('" + std::string(kSavedCamera) + "').getAttribute('aria-pressed')==='true'"));
    EXPECT_FALSE(Holds("document.getElementById('generate-btn').disabled"));
}

TEST_F(PanelBehaviour, ARefusalForWantOfCreditsOffersTheServicesPageForThem) {
    Open("en", "standIn.signedIn=true;standIn.noCredits=true");
    ASSERT_TRUE(WaitFor(kListed));
    Click("#capture-btn");
    ASSERT_TRUE(WaitFor(kCaptured));
    Click("#generate-btn");
    ASSERT_TRUE(WaitFor(kErrorShown));
    EXPECT_EQ(Text("document.getElementById('error').dataset.code"), "no_credits");
    EXPECT_EQ(Text("document.getElementById('error-message').textContent"), "Insufficient credits. Nothing was charged.");
    Click("#buy-credits");
    ASSERT_TRUE(WaitFor("standIn.requests.some(r=>r.type==='openUrl')"));
    EXPECT_EQ(LastPayload("openUrl"), R"({"target":"pricing"})");
    EXPECT_TRUE(Holds(kErrorShown)) << "the page opened elsewhere; the refusal still holds";

    // Another error offers nothing to buy.
    Eval("standIn.meFails=true");
    Click("#refresh-credits");
    ASSERT_TRUE(WaitFor("document.getElementById('error').dataset.code==='network'"));
    EXPECT_TRUE(Holds("document.getElementById('buy-credits').hidden"));
}

// The texts of a whole render in one language: counts, sizes and the clock as that language
// writes them.
struct LanguageTexts {
    const char* lang;
    const char* credits;      // in the header after the render
    const char* generate;     // the render's button, with its cost
    const char* captured;     // the capture's line
    const char* clock;        // the worksheet's name, as a pattern
    const char* saved;        // after saving
    const char* picked;       // the picked file's line
    const char* outsideHost;  // opened in a plain browser
};

const LanguageTexts kTexts[] = {
    {"pt", "9 créditos", "Gerar render · 1 crédito", "Vista 3D atual: 1600 × 1000 px, 412\u00a0kB",
     "^Tamsel Ovra ([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d$", "1 arquivo salvo em Tamsel Ovra.", "render.png · 1,2\u00a0MB",
     "Este painel funciona dentro da paleta Tamsel Ovra do Archicad. Abra-o pelo Archicad."},
    {"en", "9 credits", "Generate render · 1 credit", "Current 3D view: 1600 × 1000 px, 412\u00a0kB",
     "^Tamsel Ovra (1[0-2]|[1-9]):[0-5]\\d:[0-5]\\d\\s[AP]M$", "1 file saved in Tamsel Ovra.", "render.png · 1.2\u00a0MB",
     "This panel runs inside Archicad’s Tamsel Ovra palette. Open it from Archicad."},
    {"es", "9 créditos", "Generar render · 1 crédito", "Vista 3D actual: 1600 × 1000 px, 412\u00a0kB",
     "^Tamsel Ovra ([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d$", "1 archivo guardado en Tamsel Ovra.", "render.png · 1,2\u00a0MB",
     "Este panel funciona dentro de la paleta Tamsel Ovra de Archicad. Ábrelo desde Archicad."},
};

TEST_F(PanelBehaviour, EveryTextOfARenderIsInThePanelsLanguage) {
    for (const LanguageTexts& texts : kTexts) {
        SCOPED_TRACE(texts.lang);
        Open(texts.lang, "standIn.signedIn=true");
        ASSERT_TRUE(WaitFor(kListed));
        EXPECT_EQ(Text("document.getElementById('generate-btn').textContent"), texts.generate);
        Click("#capture-btn");
        ASSERT_TRUE(WaitFor(kCaptured));
        EXPECT_EQ(Text(kCaptured), texts.captured);
        Eval("standIn.jobDone=true");
        Click("#generate-btn");
        ASSERT_TRUE(WaitFor("document.getElementById('result-preview').dataset.fileRef"));
        EXPECT_EQ(Text("document.getElementById('credits').textContent"), texts.credits);
        Click("#place-btn");
        ASSERT_TRUE(WaitFor("standIn.requests.some(r=>r.type==='place')"));
        const std::string label = Text("standIn.requests.find(r=>r.type==='place').payload.label");
        EXPECT_TRUE(Holds("new RegExp(" + JsonText(texts.clock) + ").test(" + JsonText(label) + ")")) << label;
        Click("#save-btn");
        ASSERT_TRUE(WaitFor("standIn.requests.some(r=>r.type==='saveFiles')"));
        EXPECT_EQ(Text("document.getElementById('result-info').textContent"), texts.saved);
        Click("#pick-btn");
        ASSERT_TRUE(WaitFor("standIn.requests.some(r=>r.type==='pickFile')"));
        EXPECT_EQ(Text(kCaptured), texts.picked);

        Open(texts.lang, nullptr);
        EXPECT_TRUE(WaitFor("(e=>e&&!e.hidden)(document.getElementById('outside-host'))", std::chrono::seconds(5)));
        EXPECT_EQ(Text("(e=>e?e.textContent.trim():'')(document.getElementById('outside-host'))"), texts.outsideHost);
    }
}
}  // namespace
