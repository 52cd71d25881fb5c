// The state of one soak round, shared by its run (SoakRound.cpp) and its checks (SoakChecks.cpp).
#pragma once
#include <cstdint>
#include <filesystem>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/HostApi.h"
#include "sim/browser/ScriptedPage.h"
#include "soak/SoakRequests.h"
#include "soak/SoakRound.h"
#include "support/FaultyFiles.h"
#include "support/Harness.h"

inline constexpr int kFileCalls = static_cast<int>(FileCall::RenameNoReplace) + 1;

// The host operations that read or set the user's view, which a capture puts back.
inline const std::set<std::string>& ViewOperations() {
    static const std::set<std::string> operations = {"GetFrontWindow",    "GetProjection3D",
                                                     "GetLayerCombination", "ChangeFrontWindow",
                                                     "SetProjection3D",   "SetLayerCombination"};
    return operations;
}

// One round from its seed: RunSoakRound's worker. Host thread only, except Post, which the poster
// threads call.
class SoakRound {
public:
    SoakRound(SoakEnvironment& environment, uint64_t seed, std::vector<std::string>* violations)
        : env_(environment), seed_(seed), random_(seed), violations_(violations) {}

    SoakCounts Run();

private:
    void SetUp();
    void Post(const SoakRequest& request);
    void InjectFaults();
    void ScriptServiceFault();
    void ClearFaults();
    bool Settled() const;
    void Drain();
    void Check();
    void CheckReplies();
    // The ids of requests whose answers the log says were dropped after a page reload.
    std::set<std::string> DroppedAfterReload() const;
    // True when a project change was sent after the request was accepted, or waited to be
    // applied when it was.
    bool MayBeDropped(const std::string& id) const;
    // A request's text and the log around it, for a violation's message.
    std::string Described(const std::string& id) const;
    void CheckTemporaryFiles();
    void CheckTokens();
    void CheckModel();
    void CheckStore();
    void CheckSavedFiles();
    void Violation(const std::string& text);
    void Turn();
    void ReleaseWhileWorkersRun();
    std::vector<const ScriptedPage::Message*> RepliesTo(const std::string& id) const;

    SoakEnvironment& env_;
    uint64_t seed_;
    std::mt19937_64 random_;
    std::vector<std::string>* violations_;
    SoakCounts counts_;
    std::unique_ptr<Harness> harness_;
    SoakSources sources_;
    std::filesystem::path projectFolder_, saveFolder_;
    std::vector<SoakRequest> requests_;
    std::mutex acceptedMutex_;
    std::set<std::string> accepted_;
    // Project changes sent so far, and how many had been sent when each request was accepted: a
    // request of a page that a later change replaced may have its answer dropped.
    std::atomic<uint64_t> projectChangesSent_{0};
    std::map<std::string, uint64_t> changesAtPost_;
    // Project changes the add-on has applied (its page reloaded since): a text posted while a
    // change waits to be applied belongs to the old page too.
    std::atomic<uint64_t> projectChangesApplied_{0};
    size_t loadsSeen_ = 0;
    std::set<std::string> postedWhileAChangeWaited_;
    std::set<std::string> tokens_;
    std::vector<ScriptedPage::Message> messages_;
    // A round that releases the add-on while its workers still run, instead of draining.
    bool releaseRound_ = false;
    std::set<std::string> knownBytes_;  // stored sources and scripted bodies
    std::map<std::string, std::string> storedRefs_;
    int fileFailuresAtStart_[kFileCalls] = {};
    // A round whose view operations never fail and whose project never changes, so that the
    // captures' restoring of the view can be checked.
    bool viewCalm_ = false;
    // A round whose file calls never fail, so that a signed-in palette's token must be in its file.
    bool filesCalm_ = false;
    Projection3D startProjection_;
    int32_t startLayerCombination_ = 0;
};
