// Loading the panel's page into the browser, and injecting the adapter script once per load.
#include "panel/PageLoading.h"

#include "panel/HostThread.h"
#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Project.h"
#include "panel/ProjectGeneration.h"
#include "platform/System.h"
#include "platform/Utf.h"
#include "store/Log.h"

namespace {
constexpr size_t kModulePathLimit = 520;

// Generated from adapter.js, the script's one home.
#include "adapter_script.inc"

bool Unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '~' ||
           c == '-' || c == '.' || c == '/' || c == ':';
}

const char* const kFallbackPt =
    "<html><body style=\"font-family:Segoe UI;padding:24px;color:#333\"><h3>Tamsel Ovra</h3><p>Os arquivos do "
    "painel n\xC3\xA3o foram encontrados ao lado do complemento (pasta TamselOvra-ui). Reinstale o "
    "Ovra.</p></body></html>";
const char* const kFallbackEn =
    "<html><body style=\"font-family:Segoe UI;padding:24px;color:#333\"><h3>Tamsel Ovra</h3><p>The panel files "
    "were not found next to the add-on (TamselOvra-ui folder). Reinstall Ovra.</p></body></html>";
const char* const kFallbackEs =
    "<html><body style=\"font-family:Segoe UI;padding:24px;color:#333\"><h3>Tamsel Ovra</h3><p>No se encontraron "
    "los archivos del panel junto al complemento (carpeta TamselOvra-ui). Reinstala Ovra.</p></body></html>";
}  // namespace

std::string_view AdapterScript() { return std::string_view(kAdapterScript, sizeof kAdapterScript - 1); }

std::string FileUrl(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(path.size() + 16);
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            encoded += '/';
        } else if (Unreserved(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    // A Windows path (drive or UNC) always follows "file:///"; a POSIX path brings its own "/".
    const bool posixRooted = PathSeparator() == '/' && !encoded.empty() && encoded[0] == '/';
    return (posixRooted ? "file://" : "file:///") + encoded;
}

std::string PanelFolder() {
    // The limit is the host's, counted in UTF-16 units as Windows counts a path.
    std::string module = ModuleFilePath();
    if (Utf8ToUtf16(module).size() > kModulePathLimit) module.clear();
    const auto cut = module.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? std::string() : module.substr(0, cut);
    return folder + PathSeparator() + "TamselOvra-ui";
}

void Palette::LoadPanel() {
    CheckHostThread("Palette::LoadPanel");
    projectKey_ = ProjectKey();
    adapterInjected_ = false;
    ++pageLoad_;
    pageGeneration_ = CurrentProjectGeneration();
    published_->store(static_cast<uint64_t>(pageGeneration_) << 32 | (pageLoad_ & 0xFFFFFFFFu));
    const std::string folder = PanelFolder();
    const std::string query = std::string("?skin=archicad&lang=") + LanguageParameter();
    const std::string archicadPage = folder + PathSeparator() + "archicad.html";
    const std::string indexPage = folder + PathSeparator() + "index.html";
    if (FileExists(archicadPage)) {
        browser_.LoadUrl(Utf8ToUtf16(FileUrl(archicadPage) + query));
        WriteLog("load archicad.html");
    } else if (FileExists(indexPage)) {
        browser_.LoadUrl(Utf8ToUtf16(FileUrl(indexPage) + query));
        WriteLog("load index.html (adapter injected after load)");
    } else {
        WriteLog("panel files missing");
        browser_.LoadHtml(Utf8ToUtf16(PickByLanguage(kFallbackPt, kFallbackEn, kFallbackEs)));
    }
}

void Palette::OnLoadingStateChanged(bool isLoading) {
    if (isLoading || adapterInjected_) return;
    adapterInjected_ = true;
    browser_.ExecuteScript(Utf8ToUtf16(AdapterScript()));
}
