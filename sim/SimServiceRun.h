// The simulated service of one simulator run: started in the simulator's own process, pointed at
// by the simulated host, and its record written at exit.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/SimOptions.h"

class SimServiceRun {
public:
    virtual ~SimServiceRun() = default;
    virtual uint16_t Port() const = 0;
    // The PEM file of the run's throwaway CA.
    virtual std::string CaFile() const = 0;
    // Turns the approval of device codes at their first poll on or off.
    virtual void SetApproveAtFirstPoll(bool on) = 0;
    // Empties the record of requests; the account stays.
    virtual void ResetRecord() = 0;
    // Writes every request received, one JSON object a line; false when the file cannot be written.
    virtual bool WriteRecord(const std::string& file) const = 0;
    // Every breach of the service's rules so far (RequestRules.h), one line each.
    virtual std::vector<std::string> Violations() const = 0;
};

// Starts the service with the options' credits and approval, holding requests to the language the
// add-on is to choose (ExpectedUiLanguage); null with a message when it cannot
// run (the Windows build has no in-process service).
std::unique_ptr<SimServiceRun> StartSimServiceRun(const SimOptions& options, std::string* error);
