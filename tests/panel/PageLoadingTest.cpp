// Loading the panel's page: which file, its URL and query, the fallback page, and the adapter
// script injected once per load.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "panel/Language.h"
#include "panel/PageLoading.h"
#include "platform/System.h"
#include "support/Harness.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder standing in for the folder of the module file.
class ModuleFolder {
public:
    ModuleFolder() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("tovr-module-" + std::to_string(random()));
        fs::create_directories(root_ / "TamselOvra-ui");
        SetModuleFilePathForTesting((root_ / "TamselOvra.so").string());
    }
    ~ModuleFolder() {
        SetModuleFilePathForTesting("");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string Page(const char* name) {
        const fs::path path = root_ / "TamselOvra-ui" / name;
        std::ofstream(path) << "<html></html>";
        return path.string();
    }

private:
    fs::path root_;
};

TEST(FileUrls, EscapeEveryByteOutsideTheUnreservedSet) {
    EXPECT_EQ(FileUrl("C:\\Program Files\\Ovra\\TamselOvra-ui\\archicad.html"),
              "file:///C:/Program%20Files/Ovra/TamselOvra-ui/archicad.html");
    EXPECT_EQ(FileUrl("/opt/ovra/TamselOvra-ui/index.html"), "file:///opt/ovra/TamselOvra-ui/index.html");
    EXPECT_EQ(FileUrl("/home/jos\xC3\xA9/a b/x.html"), "file:///home/jos%C3%A9/a%20b/x.html");
    EXPECT_EQ(FileUrl("D:\\a_b~c-d.e\\#?%&+"), "file:///D:/a_b~c-d.e/%23%3F%25%26%2B");
}

TEST(PanelFiles, ArchicadPageIsPreferredOverIndexPage) {
    ModuleFolder folder;
    const std::string archicad = folder.Page("archicad.html");
    folder.Page("index.html");
    Harness h;
    ASSERT_EQ(h.page().Loads().size(), 1u);
    EXPECT_TRUE(h.page().Loads()[0].isUrl);
    EXPECT_EQ(h.page().Loads()[0].text, FileUrl(archicad) + "?skin=archicad&lang=en");
}

TEST(PanelFiles, IndexPageIsLoadedWhenItIsTheOnlyOne) {
    ModuleFolder folder;
    const std::string index = folder.Page("index.html");
    Harness h(false);
    h.host().languageCode = "POR";
    h.host().Initialize();
    h.host().OpenPaletteFromMenu();
    uiLanguage = u"en";
    ASSERT_EQ(h.page().Loads().size(), 1u);
    EXPECT_EQ(h.page().Loads()[0].text, FileUrl(index) + "?skin=archicad&lang=pt");
}

TEST(PanelFiles, WithoutThemTheFallbackPageSpeaksTheUiLanguage) {
    ModuleFolder folder;  // an empty panel folder
    struct Case {
        std::u16string language;
        const char* text;
    } cases[] = {
        {u"en", "The panel files were not found next to the add-on (TamselOvra-ui folder). Reinstall Ovra."},
        {u"pt-BR", "Os arquivos do painel n\xC3\xA3o foram encontrados ao lado do complemento (pasta TamselOvra-ui). "
                   "Reinstale o Ovra."},
        {u"es", "No se encontraron los archivos del panel junto al complemento (carpeta TamselOvra-ui). Reinstala "
                "Ovra."},
    };
    for (const auto& c : cases) {
        Harness h(false);
        uiLanguage = c.language;
        h.host().OpenPaletteFromMenu();
        ASSERT_EQ(h.page().Loads().size(), 1u);
        EXPECT_FALSE(h.page().Loads()[0].isUrl);
        EXPECT_EQ(h.page().Loads()[0].text,
                  std::string("<html><body style=\"font-family:Segoe UI;padding:24px;color:#333\"><h3>Tamsel "
                              "Ovra</h3><p>") +
                      c.text + "</p></body></html>");
    }
    uiLanguage = u"en";
}

TEST(Adapter, IsInjectedOncePerLoadWhateverThePageDoes) {
    Harness h(false);
    h.host().OpenPaletteFromMenu();
    ScriptedPage& page = h.page();
    EXPECT_TRUE(page.Scripts().empty()) << "nothing before loading finishes";
    page.FinishLoading();
    ASSERT_EQ(page.Scripts().size(), 1u);
    // A navigation the page starts by itself gets no second injection.
    page.LoadUrl(u"file:///elsewhere.html");
    page.FinishLoading();
    EXPECT_EQ(page.Scripts().size(), 1u);
    // A new load by the add-on does.
    h.palette().LoadPanel();
    EXPECT_EQ(page.Scripts().size(), 1u);
    page.FinishLoading();
    EXPECT_EQ(page.Scripts().size(), 2u);
}

TEST(Adapter, TheInjectedTextIsTheScriptFileByteForByte) {
    std::ifstream in(std::string(TOVR_SOURCE_DIR) + "/src/panel/adapter.js", std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(file.empty());
    Harness h;
    ASSERT_EQ(h.page().Scripts().size(), 1u);
    EXPECT_EQ(h.page().Scripts()[0], file);
    EXPECT_EQ(AdapterScript(), file);
    EXPECT_NE(file.back(), '\n') << "the script is executed exactly as stored";
}

}  // namespace
