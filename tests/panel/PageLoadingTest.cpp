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
#if !defined(_WIN32)
    // A POSIX path brings its own leading slash.
    EXPECT_EQ(FileUrl("/opt/ovra/TamselOvra-ui/index.html"), "file:///opt/ovra/TamselOvra-ui/index.html");
    EXPECT_EQ(FileUrl("/home/jos\xC3\xA9/a b/x.html"), "file:///home/jos%C3%A9/a%20b/x.html");
#endif
    EXPECT_EQ(FileUrl("D:\\a_b~c-d.e\\#?%&+"), "file:///D:/a_b~c-d.e/%23%3F%25%26%2B");
#if defined(_WIN32)
    // A UNC path keeps both of its leading slashes after "file:///".
    EXPECT_EQ(FileUrl("\\\\srv\\share\\ui\\index.html"), "file://///srv/share/ui/index.html");
#endif
}

TEST(PanelFiles, ArchicadPageIsPreferredOverIndexPage) {
    ModuleFolder folder;
    const std::string archicad = folder.Page("archicad.html");
    folder.Page("index.html");
    Harness h;
    ASSERT_EQ(h.page().Loads().size(), 1u);
    EXPECT_TRUE(h.page().Loads()[0].isUrl);
    EXPECT_EQ(h.page().Loads()[0].text, FileUrl(archicad) + "?skin=archicad&lang=en");
    EXPECT_NE(ReadFileText(h.folders().dataFolder() / "host.log").find(" load archicad.html\r\n"), std::string::npos);
}

#if !defined(_WIN32)
// The module path's limit is 520 UTF-16 units, not bytes: "é" is two bytes and one unit.
TEST(PanelFiles, TheModulePathLimitCountsUtf16Units) {
    const fs::path root = fs::temp_directory_path() / "tovr-long-module";
    fs::remove_all(root);
    std::string name;
    for (int i = 0; i < 100; ++i) name += "\xC3\xA9";  // 200 bytes, 100 units
    fs::path folder = root;
    for (int i = 0; i < 4; ++i) folder /= name;  // about 440 units and 840 bytes in all
    fs::create_directories(folder / "TamselOvra-ui");
    std::ofstream(folder / "TamselOvra-ui" / "index.html") << "<html></html>";
    const std::string module = (folder / "TamselOvra.so").string();
    ASSERT_GT(module.size(), 520u);
    {
        SetModuleFilePathForTesting(module);
        Harness h;
        ASSERT_EQ(h.page().Loads().size(), 1u);
        EXPECT_TRUE(h.page().Loads()[0].isUrl) << "within 520 units the panel files are found";
    }
    fs::path deeper = folder / name;
    fs::create_directories(deeper / "TamselOvra-ui");
    std::ofstream(deeper / "TamselOvra-ui" / "index.html") << "<html></html>";
    {
        SetModuleFilePathForTesting((deeper / "TamselOvra.so").string());
        Harness h;
        ASSERT_EQ(h.page().Loads().size(), 1u);
        EXPECT_FALSE(h.page().Loads()[0].isUrl) << "past 520 units the fallback page is shown";
    }
    SetModuleFilePathForTesting("");
    fs::remove_all(root);
}
#endif

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
    EXPECT_NE(ReadFileText(h.folders().dataFolder() / "host.log").find(" load index.html (adapter injected after load)\r\n"),
              std::string::npos);
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
