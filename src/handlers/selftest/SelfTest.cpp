// The self-test's arming; its script of steps is not written yet, so an armed run sends
// nothing, and replies to self-test ids are swallowed.
#include "handlers/selftest/SelfTest.h"

#include "panel/Palette.h"
#include "platform/System.h"
#include "store/Log.h"

bool IsSelfTestMode() { return EnvironmentFlag("TAMSEL_OVRA_SELFTEST", 4); }

void ArmSelfTest(Palette& palette, bool afterProjectChange) {
    if (!IsSelfTestMode()) return;
    palette.selfTestStep = 0;
    palette.selfTestAwaiting = false;
    palette.selfTestFileRef.clear();
    palette.selfTestViewId.clear();
    palette.selfTestUnavailableViewId.clear();
    palette.selfTestDeadline = SteadyNow() + std::chrono::seconds(8);
    WriteLog(afterProjectChange ? "SELFTEST re-armed after project change" : "SELFTEST armed");
}

void SelfTestStep(Palette&) {}
void SelfTestResult(Palette&, const std::string&, bool, const std::string&) {}
