// The Windows module's compiled resources read back with the system's resource calls and
// compared with the resource table compiled into the add-on: both come from
// resources/resources.json, so any difference is a fault of one of the two generators.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/AddonResources.h"
#include "platform/win32/Wide.h"

namespace {
// The module mapped as data only: no code of it runs.
class ModuleData {
public:
    ModuleData()
        : module_(::LoadLibraryExW(Wide(TOVR_MODULE_FILE).c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ModuleData() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    ModuleData(const ModuleData&) = delete;
    ModuleData& operator=(const ModuleData&) = delete;
    HMODULE get() const { return module_; }

    // The bytes of a resource; empty when it is missing.
    std::string Bytes(const wchar_t* type, const wchar_t* name) const {
        const HRSRC found = ::FindResourceW(module_, name, type);
        if (found == nullptr) return {};
        const HGLOBAL loaded = ::LoadResource(module_, found);
        const void* data = loaded ? ::LockResource(loaded) : nullptr;
        return data ? std::string(static_cast<const char*>(data), ::SizeofResource(module_, found)) : std::string();
    }
    std::string Bytes(const wchar_t* type, int id) const { return Bytes(type, MAKEINTRESOURCEW(id)); }

private:
    HMODULE module_;
};

// Reads NUL-terminated UTF-16 texts and 32-bit numbers from a resource's bytes.
class Reader {
public:
    explicit Reader(std::string bytes) : bytes_(std::move(bytes)) {}
    bool AtEnd() const { return pos_ >= bytes_.size(); }
    uint32_t U32() {
        uint32_t v = 0;
        if (pos_ + 4 <= bytes_.size()) std::memcpy(&v, bytes_.data() + pos_, 4);
        pos_ += 4;
        return v;
    }
    uint16_t U16() {
        uint16_t v = 0;
        if (pos_ + 2 <= bytes_.size()) std::memcpy(&v, bytes_.data() + pos_, 2);
        pos_ += 2;
        return v;
    }
    std::string Text() {
        std::wstring w;
        while (pos_ + 2 <= bytes_.size()) {
            const wchar_t c = static_cast<wchar_t>(U16());
            if (c == 0) break;
            w += c;
        }
        return Narrow(w);
    }
    void AlignTo(size_t n) { pos_ = (pos_ + n - 1) / n * n; }
    void Skip(size_t n) { pos_ += n; }

private:
    std::string bytes_;
    size_t pos_ = 0;
};

// A dialog item or name field: 0xFFFF and a number, or a text.
std::string NameOrOrdinal(Reader& r) {
    Reader peek = r;
    if (peek.U16() == 0xFFFF) {
        r.U16();
        std::string ordinal = "#";
        ordinal += std::to_string(r.U16());
        return ordinal;
    }
    return r.Text();
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class Win32ModuleResources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(module.get(), nullptr) << "cannot map " << TOVR_MODULE_FILE; }
    ModuleData module;
    const AddonResources& table = ModuleResources();
};
}  // namespace

TEST_F(Win32ModuleResources, VersionIs1_1_0_0InBothTheFixedAndTheTextForm) {
    const std::wstring file = Wide(TOVR_MODULE_FILE);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(file.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000000u);
    wchar_t* text = nullptr;
    UINT textSize = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text),
                                 &textSize));
    EXPECT_EQ(Narrow(text), "1.1.0.0");
    EXPECT_EQ(table.version, "1.1.0.0");
}

TEST_F(Win32ModuleResources, StringListsHoldTheTablesStringsInOrder) {
    ASSERT_EQ(table.stringLists.size(), 2u);
    for (const ResourceStringList& list : table.stringLists) {
        Reader r(module.Bytes(L"STRLIST", list.id));
        std::vector<std::string> strings;
        while (!r.AtEnd()) strings.push_back(r.Text());
        EXPECT_EQ(strings, list.strings) << "string list " << list.id;
    }
    EXPECT_EQ(table.String(32500, 3), "Abrir Ovra^ES^EE^EI^ED^EW^E3^EL");
}

TEST_F(Win32ModuleResources, PaletteDialogHasItsTitleSizeAndOneBrowserItem) {
    const ResourceDialog* dialog = table.Dialog(32600);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->items.size(), 1u);
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, help id, extended style, style, item count,
    // x, y, cx, cy, menu, class, title; then each item aligned to 4 bytes.
    Reader r(module.Bytes(MAKEINTRESOURCEW(5) /* RT_DIALOG */, 32600));
    ASSERT_EQ(r.U16(), 1);
    ASSERT_EQ(r.U16(), 0xFFFF);
    r.Skip(12);
    EXPECT_EQ(r.U16(), 1) << "item count";
    r.Skip(4);
    EXPECT_EQ(r.U16(), dialog->width);
    EXPECT_EQ(r.U16(), dialog->height);
    NameOrOrdinal(r);  // menu
    NameOrOrdinal(r);  // class
    EXPECT_EQ(r.Text(), "Tamsel Ovra");

    const ResourceDialogItem& item = dialog->items[0];
    r.AlignTo(4);
    r.Skip(12);  // help id, extended style, style
    EXPECT_EQ(r.U16(), item.x);
    EXPECT_EQ(r.U16(), item.y);
    EXPECT_EQ(r.U16(), item.width);
    EXPECT_EQ(r.U16(), item.height);
    EXPECT_EQ(r.U32(), static_cast<uint32_t>(item.id));
    EXPECT_EQ(Lower(NameOrOrdinal(r)), "browser");
}

TEST_F(Win32ModuleResources, HelpAnchorsNameTheDialogAndItsItem) {
    const ResourceDialog* dialog = table.Dialog(32600);
    ASSERT_NE(dialog, nullptr);
    Reader r(module.Bytes(L"DLGHELP", 32600));
    std::map<uint32_t, std::string> anchors;
    while (!r.AtEnd()) {
        const uint32_t id = r.U32();
        anchors[id] = r.Text();
    }
    const std::map<uint32_t, std::string> expected = {{0, "Ovra_Palette"}, {1, "Browser_0"}};
    EXPECT_EQ(anchors, expected);
    EXPECT_EQ(dialog->helpAnchor, "Ovra_Palette");
    EXPECT_EQ(dialog->items[0].helpAnchor, "Browser_0");
}

TEST_F(Win32ModuleResources, ModuleIdCarriesTheDeveloperAndLocalIds) {
    Reader r(module.Bytes(L"MODULEID", table.moduleIdResource));
    EXPECT_EQ(r.U32(), table.developerId);
    EXPECT_EQ(r.U32(), table.localId);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(table.moduleIdResource, 32500);
}

TEST_F(Win32ModuleResources, IconsArePngResourcesUnderTheirNames) {
    const std::vector<std::string> names = {"I32601&96", "I32601&96&D", "I32601&192", "I32601&192&D"};
    ASSERT_EQ(table.icons.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        const ResourceIcon& icon = table.icons[i];
        EXPECT_EQ(icon.name, names[i]);
        const std::string bytes = module.Bytes(L"PNG", Wide(icon.name).c_str());
        ASSERT_EQ(bytes.size(), icon.pngSize) << icon.name;
        EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << icon.name;
        EXPECT_EQ(bytes, std::string(reinterpret_cast<const char*>(icon.png), icon.pngSize)) << icon.name;
    }
}
