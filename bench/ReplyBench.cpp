// Benchmark of reply delivery: the host thread's processor time and the peak memory added, from
// the worker's completion (the download's bytes in hand) to the return of the browser's
// ExecuteScript, for a 32 MiB video download, a 3000 x 2000 picture download (its JPEG preview)
// and a capture, beside the floor of ExecuteScript alone on the same buffer (a browser that takes
// a copy of the script, into memory it has touched already), and beside the former delivery (the
// result as text, copied into the reply and again into the script, widened one character at a
// time). Then the widening of all-ASCII text alone, into touched and into fresh memory.
//   reply_bench [repetitions]   7 by default; medians
#include <malloc.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchHost.h"
#include "bench/BenchPictures.h"
#include "handlers/service/DownloadReply.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "platform/Utf.h"
#include "store/DataUrl.h"
#include "store/Images.h"

// Every block the C++ allocator hands out is counted, so that the peak of a delivery is known.
namespace {
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};
}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const int64_t live = gLive.fetch_add(static_cast<int64_t>(malloc_usable_size(p))) +
                         static_cast<int64_t>(malloc_usable_size(p));
    int64_t peak = gPeak.load();
    while (live > peak && !gPeak.compare_exchange_weak(peak, live)) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    gLive.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)));
    std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {
double ThreadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// The live browser behind the simulated page: it takes a copy of each script, into a buffer it
// touched beforehand, and times that copy.
class CopyingBrowser final : public Browser {
public:
    void Reserve(size_t size) { copy_.assign(size, u'\0'); }
    void LoadUrl(const std::u16string&) override {}
    void LoadHtml(const std::u16string&) override {}
    void ExecuteScript(const std::u16string& script) override {
        const double start = ThreadCpuMs();
        if (copy_.size() < script.size()) copy_.resize(script.size());
        std::memcpy(copy_.data(), script.data(), script.size() * sizeof(char16_t));
        floorMs = ThreadCpuMs() - start;
        units = script.size();
        lastUnit = script.empty() ? u'\0' : script.back();
    }
    void RegisterNativeObject(const NativeObject&) override {}
    void UnregisterNativeObject(const std::string&) override {}
    void OnLoadingStateChanged(std::function<void(bool)>) override {}

    double floorMs = 0;
    size_t units = 0;
    char16_t lastUnit = 0;

private:
    std::u16string copy_;
};

// The former conversion: one character at a time, into a string that grows.
std::u16string WidenOneByOne(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
        } else {
            const std::u16string rest = Utf8ToUtf16(text.substr(i, 1));
            out += rest;
            ++i;
        }
    }
    return out;
}

struct Figures {
    double hostMs = 0;      // the host thread's processor time, completion to ExecuteScript's return
    double floorMs = 0;     // ExecuteScript alone
    double peakMb = 0;      // memory added at the peak, the worker's part included
    double hostPeakMb = 0;  // memory added at the peak of the host thread's part
    double scriptMb = 0;    // the script as the browser takes it
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Bench {
    SimHost& host;
    Palette& palette;
    CopyingBrowser& browser;

    RequestTag Tag(const std::string& id) const { return RequestTag{id, palette.MessageLoad(), false}; }

    // A download's reply as the add-on makes it now: stored and prepared on a worker, handed over
    // in the host's next turn.
    Figures Download(const std::string& bytes) {
        const int64_t base = gLive.load();
        gPeak.store(base);
        std::thread worker([&] {
            StoredDownload stored;
            if (!StoreDownload(bytes, &stored)) std::abort();
            PostDownload(*ProcessMailbox(), Tag("ui-1"), bytes, stored);
        });
        worker.join();
        browser.units = 0;
        const int64_t beforeHost = gLive.load();
        const int64_t peakBeforeHost = gPeak.exchange(beforeHost);
        const double start = ThreadCpuMs();
        host.Turn();
        Figures f;
        f.hostMs = ThreadCpuMs() - start;
        f.hostPeakMb = double(gPeak.load() - beforeHost) / 1e6;
        gPeak.store(std::max(peakBeforeHost, gPeak.load()));
        if (browser.units == 0 || browser.lastUnit != u')') std::abort();
        f.floorMs = browser.floorMs;
        f.scriptMb = double(browser.units * sizeof(char16_t)) / 1e6;
        // The buffer is given back on a thread of its own; the peak is what was live meanwhile.
        f.peakMb = double(gPeak.load() - base) / 1e6;
        return f;
    }

    // The same reply as the add-on made it before: the result text on the worker, then on the
    // host thread the reply text, the script text and its widening one character at a time.
    Figures FormerDownload(const std::string& bytes) {
        const int64_t base = gLive.load();
        gPeak.store(base);
        std::string result;
        std::thread worker([&] {
            StoredDownload stored;
            if (!StoreDownload(bytes, &stored)) std::abort();
            const std::string_view shown = stored.preview.empty() ? std::string_view(bytes) : stored.preview;
            const std::string quoted = JsonQuote(MakeDataUrl(stored.type, shown));
            result = "{\"url\":" + quoted + ",\"dataUrl\":" + quoted + ",\"fileRef\":" + JsonQuote(stored.ref) + "}";
        });
        worker.join();
        const int64_t beforeHost = gLive.load();
        const int64_t peakBeforeHost = gPeak.exchange(beforeHost);
        const double start = ThreadCpuMs();
        std::string reply = "{\"id\":" + JsonQuote("ui-1") + ",\"ok\":true,\"result\":";
        reply.append(result);
        reply += '}';
        std::string script = "window.TamselBridge&&window.TamselBridge.receive(";
        script.append(reply);
        script += ')';
        std::u16string wide = WidenOneByOne(script);
        browser.ExecuteScript(wide);
        Figures f;
        f.hostMs = ThreadCpuMs() - start;
        f.hostPeakMb = double(gPeak.load() - beforeHost) / 1e6;
        gPeak.store(std::max(peakBeforeHost, gPeak.load()));
        f.floorMs = browser.floorMs;
        f.scriptMb = double(wide.size() * sizeof(char16_t)) / 1e6;
        f.peakMb = double(gPeak.load() - base) / 1e6;
        return f;
    }

    // A capture's reply, made on the host thread from its result.
    Figures Capture(const std::string& result) {
        const int64_t base = gLive.load();
        gPeak.store(base);
        const double start = ThreadCpuMs();
        ReplyOk(palette, "ui-2", result);
        Figures f;
        f.hostMs = ThreadCpuMs() - start;
        f.hostPeakMb = double(gPeak.load() - base) / 1e6;
        f.floorMs = browser.floorMs;
        f.scriptMb = double(browser.units * sizeof(char16_t)) / 1e6;
        f.peakMb = double(gPeak.load() - base) / 1e6;
        return f;
    }
};

void Report(const char* name, const std::vector<Figures>& runs) {
    std::vector<double> host, floor, added, peak, hostPeak, script;
    for (const Figures& f : runs) {
        hostPeak.push_back(f.hostPeakMb);
        host.push_back(f.hostMs);
        floor.push_back(f.floorMs);
        added.push_back(f.hostMs - f.floorMs);
        peak.push_back(f.peakMb);
        script.push_back(f.scriptMb);
    }
    const double s = Median(script);
    std::printf("%-34s host thread %8.3f ms, ExecuteScript alone %7.3f ms, add-on's own %8.3f ms; script %6.1f MB,"
                " peak added %6.1f MB (%.2fx; host thread's part %6.1f MB)\n",
                name, Median(host), Median(floor), Median(added), s, Median(peak), s > 0 ? Median(peak) / s : 0.0,
                Median(hostPeak));
}

// Widening `text`, GB of input a second: into one buffer touched beforehand, or each time into
// a fresh one whose pages fault in as they are written.
double WideningRate(const std::string& text, bool fresh) {
    std::vector<double> rates;
    std::unique_ptr<char16_t[]> touched(new char16_t[text.size()]);
    std::memset(touched.get(), 0, text.size() * sizeof(char16_t));
    for (int i = 0; i < 5; ++i) {
        std::unique_ptr<char16_t[]> untouched(fresh ? new char16_t[text.size()] : nullptr);
        char16_t* out = fresh ? untouched.get() : touched.get();
        const auto start = std::chrono::steady_clock::now();
        if (WidenUtf8(text, out) != out + text.size()) std::abort();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates.push_back(double(text.size()) / s / 1e9);
    }
    return Median(rates);
}
}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char folder[] = "/tmp/reply-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    ::setenv("XDG_DATA_HOME", folder, 1);
    ::setenv("XDG_CONFIG_HOME", folder, 1);
    SimHost& host = *NewBenchHost();
    CopyingBrowser browser;
    host.Page()->Mirror(&browser);
    host.Page()->RecordScripts(false);
    Palette* palette = LivePalette();
    if (palette == nullptr) return 1;
    Bench bench{host, *palette, browser};

    // A 32 MiB video (an MP4's first box, then bytes that compress like video), a 3000 x 2000
    // picture as the service returns renders, and a capture's result with its 1600 px preview.
    std::string video(size_t{32} << 20, '\0');
    for (size_t i = 0; i < video.size(); ++i) video[i] = static_cast<char>((i * 2654435761u) >> 13);
    std::memcpy(video.data(), "\0\0\0\x18" "ftypisom", 12);
    const std::string picture = DefaultPng(RenderedPicture(3000, 2000));
    std::string small;
    if (!EncodeJpeg(DefaultPng(RenderedPicture(1600, 1200, 2)), 1600, 88, &small)) return 1;
    const std::string capture = "{\"fileRef\":\"cap-0123456789abcdef0123456789abcdef\",\"preview\":\"" +
                                MakeDataUrl("image/jpeg", small) + "\",\"sizeBytes\":" + std::to_string(small.size()) +
                                ",\"width\":1600,\"height\":1200}";
    browser.Reserve(size_t{100} << 20);

    std::vector<Figures> videoNow, videoBefore, pictureNow, pictureBefore, captureNow;
    for (int r = 0; r < repetitions; ++r) {
        videoNow.push_back(bench.Download(video));
        videoBefore.push_back(bench.FormerDownload(video));
        pictureNow.push_back(bench.Download(picture));
        pictureBefore.push_back(bench.FormerDownload(picture));
        captureNow.push_back(bench.Capture(capture));
        // The released buffers' threads end before the next round measures.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::printf("reply delivery, medians of %d\n", repetitions);
    Report("32 MiB video download", videoNow);
    Report("32 MiB video download, former", videoBefore);
    Report("3000x2000 picture download", pictureNow);
    Report("3000x2000 picture download, former", pictureBefore);
    Report("capture", captureNow);

    // All-ASCII text: the video's base64.
    const std::string ascii = Base64Encode(video);
    std::printf("widening %.0f MB of ASCII: %.2f GB/s into touched memory, %.2f GB/s into fresh memory\n",
                double(ascii.size()) / 1e6, WideningRate(ascii, false), WideningRate(ascii, true));
    const auto start = std::chrono::steady_clock::now();
    const std::u16string former = WidenOneByOne(ascii);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("widening one character at a time (former): %.2f GB/s, fresh memory\n",
                double(ascii.size()) / s / 1e9);
    host.Page()->Mirror(nullptr);
    std::filesystem::remove_all(folder);
    return former.size() == ascii.size() ? 0 : 1;
}
