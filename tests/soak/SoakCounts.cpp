// The counts of a soak, added up over its rounds and reported.
#include <sstream>

#include "soak/SoakRound.h"

void SoakCounts::Add(const SoakCounts& o) {
    rounds += o.rounds;
    requests += o.requests;
    malformed += o.malformed;
    replies += o.replies;
    events += o.events;
    violations += o.violations;
    for (const auto& [k, v] : o.requestTypes) requestTypes[k] += v;
    for (const auto& [k, v] : o.hostFaults) hostFaults[k] += v;
    for (const auto& [k, v] : o.fileFaults) fileFaults[k] += v;
    for (const auto& [k, v] : o.serviceFaults) serviceFaults[k] += v;
    serviceAnswersUntaken += o.serviceAnswersUntaken;
    refusedEventLoopTurns += o.refusedEventLoopTurns;
    releasedWithWorkers += o.releasedWithWorkers;
    unansweredAtRelease += o.unansweredAtRelease;
    droppedAfterReload += o.droppedAfterReload;
    dialogs += o.dialogs;
    dialogCancels += o.dialogCancels;
    projectChanges += o.projectChanges;
    viewRestoreChecks += o.viewRestoreChecks;
}

std::string SoakCounts::Report() const {
    std::ostringstream out;
    auto list = [&out](const char* title, const std::map<std::string, uint64_t>& counts) {
        uint64_t total = 0;
        for (const auto& kv : counts) total += kv.second;
        out << title << ": " << total;
        const char* separator = " (";
        for (const auto& [k, v] : counts) {
            out << separator << k << " " << v;
            separator = ", ";
        }
        out << (counts.empty() ? "" : ")") << "\n";
    };
    out << "rounds " << rounds << ", requests " << requests << ", replies " << replies << ", events " << events
        << ", dropped texts " << malformed << ", violations " << violations << "\n";
    list("requests by type", requestTypes);
    list("host-operation failures", hostFaults);
    list("file-call failures", fileFaults);
    list("service faults scripted", serviceFaults);
    out << "scripted answers left untaken at the ends of rounds " << serviceAnswersUntaken << "\n";
    out << "turns with event-loop calls refused " << refusedEventLoopTurns << ", dialogs shown " << dialogs
        << ", dialog cancels queued " << dialogCancels << ", project events " << projectChanges << "\n"
        << "rounds whose captures' view restoring was checked " << viewRestoreChecks << "\n"
        << "rounds released while workers ran " << releasedWithWorkers << ", requests left unanswered by those releases "
        << unansweredAtRelease << "\n"
        << "requests whose answer was dropped after a reload " << droppedAfterReload << "\n";
    return out.str();
}

