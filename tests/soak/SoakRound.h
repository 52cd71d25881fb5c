// One round of the fault soak: a fresh simulated host with the add-on, requests of every type
// posted from several threads while host operations, file calls and the simulated service fail
// at random, dialogs are cancelled and the project changes; then the checks of what is left.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

class FaultyFiles;
class SimService;

// What a round did, added up over a soak.
struct SoakCounts {
    uint64_t rounds = 0;
    uint64_t requests = 0;  // accepted by the page's native object
    uint64_t malformed = 0;  // posted texts that must get no reply
    uint64_t replies = 0;
    uint64_t events = 0;
    uint64_t violations = 0;
    std::map<std::string, uint64_t> requestTypes;
    std::map<std::string, uint64_t> hostFaults;     // injected failures that fired, by operation
    std::map<std::string, uint64_t> fileFaults;     // failed file calls, by call
    std::map<std::string, uint64_t> serviceFaults;  // scripted faults, by kind
    uint64_t serviceAnswersUntaken = 0;             // scripted answers no request took
    uint64_t refusedEventLoopTurns = 0;
    uint64_t dialogs = 0, dialogCancels = 0;
    uint64_t projectChanges = 0;
    uint64_t viewRestoreChecks = 0;
    // Rounds that ended by releasing the add-on while workers ran; their requests may go
    // unanswered, never answered twice.
    uint64_t releasedWithWorkers = 0;
    uint64_t unansweredAtRelease = 0;  // rounds without faults on the view, so checked for its restoring
    // Requests whose page a project change replaced before their answer came: dropped, and logged.
    uint64_t droppedAfterReload = 0;

    void Add(const SoakCounts& other);
    // Several lines: every count by kind.
    std::string Report() const;
};

// What the rounds of a soak share: the service they talk to (reset between rounds), its CA file,
// and the file table that fails calls (installed for the whole soak, since workers may still be
// inside a call when a round ends).
struct SoakEnvironment {
    SimService& service;
    std::string caFile;
    FaultyFiles& files;
    // The user's temporary folder (TMPDIR) for the whole soak, where captures put their pictures.
    std::filesystem::path tempFolder;
    int requestsPerRound = 160;
};

// Runs one round from its seed; each violation found is appended as one line of text.
SoakCounts RunSoakRound(SoakEnvironment& environment, uint64_t seed, std::vector<std::string>* violations);
