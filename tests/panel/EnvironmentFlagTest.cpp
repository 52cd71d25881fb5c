// The testing switches read from the environment, and the self-test's arming by one of them.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "platform/System.h"
#include "support/Harness.h"
#include "support/ScopedEnvironment.h"
#include "support/ScratchFolders.h"

namespace {
constexpr char kName[] = "TAMSEL_OVRA_TEST_FLAG";
}

TEST(EnvironmentFlag, AValueThatFitsTheBufferAndBeginsWithOne) {
    struct Case {
        std::optional<std::string> value;
        size_t buffer;
        bool expected;
    } cases[] = {
        {std::nullopt, 4, false}, {"", 4, false},       {"1", 4, true},         {"123", 4, true},
        {"1234", 4, false},       {"0", 4, false},      {"01", 4, false},       {"true", 8, false},
        {"1234567", 8, true},     {"12345678", 8, false}, {"1yes", 8, true},
    };
    for (const Case& c : cases) {
        ScopedEnvironment env(kName, c.value);
        EXPECT_EQ(EnvironmentFlag(kName, c.buffer), c.expected)
            << (c.value ? *c.value : "(unset)") << " in " << c.buffer << " bytes";
    }
}

TEST(EnvironmentFlag, ArmsTheSelfTestAtPaletteCreationOnlyWhenSet) {
    for (const auto& [value, armed] : {std::pair<const char*, bool>{"1", true}, {"1000", false}, {"0", false}}) {
        ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", value);
        Harness h;
        const std::string log = ReadFileText(h.folders().dataFolder() / "host.log");
        EXPECT_EQ(log.find("SELFTEST armed") != std::string::npos, armed) << value;
    }
}
