// Many threads at once: browser threads posting requests, workers posting completions, and the
// host thread draining. Every accepted request is answered exactly once. Meant for the
// thread and address sanitizer builds as much as for the plain one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "panel/Replies.h"
#include "panel/Worker.h"
#include "support/Harness.h"

namespace {

constexpr int kBrowserThreads = 4;
constexpr int kPostsPerThread = 200;
constexpr int kWorkers = 64;

// Built by appending: GCC 12 warns falsely (-Wrestrict) on a literal + a temporary string.
std::string Id(const char* prefix, int n, int m = -1) {
    std::string id(prefix);
    id += std::to_string(n);
    if (m >= 0) id.append("-").append(std::to_string(m));
    return id;
}

TEST(Stress, EveryRequestFromEveryThreadIsAnsweredExactlyOnce) {
    Harness h;
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kBrowserThreads; ++t) {
        threads.emplace_back([&h, &started, t] {
            ++started;
            for (int i = 0; i < kPostsPerThread; ++i) {
                const std::string id = Id("t", t, i);
                // Alternate immediate and queued types, with a dropped text in between.
                h.page().Post(Request(id, i % 2 == 0 ? "record" : "listViews"));
                if (i % 10 == 0) h.page().Post("{not json");
            }
        });
    }
    // Workers started on the host thread while the browser threads post.
    for (int w = 0; w < kWorkers; ++w) {
        const std::string id = Id("w", w);
        StartWorker(
            h.palette(),
            [id]() -> PaletteFunction {
                std::this_thread::yield();
                return [id](Palette& p) { ReplyOk(p, id, "{}"); };
            },
            [id](Palette& p) { ReplyError(p, id, MakeFailure("internal", "", 0)); });
        h.host().Turn();
    }
    for (auto& t : threads) t.join();
    const size_t expected = kBrowserThreads * kPostsPerThread + kWorkers;
    // Bounded by real time, not by a number of turns: on a loaded machine (or under Wine) a
    // worker thread may wait long for a processor while the host thread turns.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int turn = 0; (h.page().Messages().size() < expected || !h.palette().Pump().Empty() ||
                        ProcessMailbox()->workers.load() > 0) &&
                       std::chrono::steady_clock::now() < deadline;
         ++turn) {
        h.host().Turn();
        if (turn % 64 == 0) std::this_thread::yield();
    }
    h.host().Turn();
    std::map<std::string, int> count;
    for (const auto& m : h.page().Messages()) ++count[m.Id()];
    EXPECT_EQ(count.size(), expected);
    for (const auto& [id, n] : count) EXPECT_EQ(n, 1) << id;
    for (int w = 0; w < kWorkers; ++w) {
        const auto* reply = h.OnlyReplyTo(Id("w", w));
        EXPECT_TRUE(reply != nullptr && reply->Ok()) << Id("w", w);
    }
    EXPECT_EQ(ProcessMailbox()->workers.load(), 0);
}

TEST(Stress, AWorkerWhoseBodyThrowsStillAnswersOnce) {
    Harness h;
    StartWorker(
        h.palette(), []() -> PaletteFunction { throw std::runtime_error("network down"); },
        [](Palette& p) { ReplyError(p, "thrower", MakeFailure("internal", "", 0)); });
    for (int turn = 0; turn < 100000 && h.page().Messages().empty(); ++turn) {
        h.host().Turn();
        std::this_thread::yield();
    }
    EXPECT_EQ(h.OnlyReplyTo("thrower")->ErrorCode(), "internal");
    while (ProcessMailbox()->workers.load() > 0) std::this_thread::yield();
}

}  // namespace
