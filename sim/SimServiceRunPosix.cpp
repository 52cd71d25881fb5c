// The simulated service in the simulator's process, with a CA made for the run.
#include <filesystem>
#include <random>

#include "sim/SimServiceRun.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;

namespace {
class InProcessRun final : public SimServiceRun {
public:
    InProcessRun(const SimOptions& options, TestPki pki) : pki_(std::move(pki)), service_(pki_, Settings(options)) {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tamsel-sim-service-" + std::to_string(random()));
        fs::create_directories(folder_);
        WriteCaPem(pki_, folder_ / "ca.pem");
        service_.Routes().SetApproveAtFirstPoll(options.approve);
        RequestRules rules;
        rules.language = ExpectedUiLanguage(options.hostLanguage);
        service_.SetRules(rules);
        service_.Start();
    }
    ~InProcessRun() override {
        service_.Stop();
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    uint16_t Port() const override { return service_.Port(); }
    std::string CaFile() const override { return (folder_ / "ca.pem").string(); }
    void SetApproveAtFirstPoll(bool on) override { service_.Routes().SetApproveAtFirstPoll(on); }
    // The record goes; the rules stay those of the run.
    void ResetRecord() override {
        const RequestRules rules = service_.Rules();
        service_.Reset();
        service_.SetRules(rules);
    }
    std::vector<std::string> Violations() const override { return service_.Violations(); }
    bool WriteRecord(const std::string& file) const override {
        return service_.WriteRecordJsonLines(fs::path(std::u8string(file.begin(), file.end())));
    }

private:
    static SimService::Options Settings(const SimOptions& options) {
        SimService::Options settings;
        settings.routes.credits = options.credits;
        return settings;
    }
    TestPki pki_;
    SimService service_;
    fs::path folder_;
};
}  // namespace

std::unique_ptr<SimServiceRun> StartSimServiceRun(const SimOptions& options, std::string* error) {
    try {
        return std::make_unique<InProcessRun>(options, MakeTestPki());
    } catch (const std::exception& e) {
        *error = std::string("the simulated service did not start: ") + e.what();
        return nullptr;
    }
}
