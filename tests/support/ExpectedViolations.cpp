// The check of the simulated service's violations at the end of a test.
#include "support/ExpectedViolations.h"

#include <gtest/gtest.h>

#include <algorithm>

void ExpectedViolations::Expect(std::string fragment) { fragments_.push_back(std::move(fragment)); }

void ExpectedViolations::Check(const std::vector<std::string>& violations) const {
    const auto covers = [](const std::string& violation, const std::string& fragment) {
        return violation.find(fragment) != std::string::npos;
    };
    for (const std::string& violation : violations)
        if (std::none_of(fragments_.begin(), fragments_.end(),
                         [&](const std::string& fragment) { return covers(violation, fragment); }))
            ADD_FAILURE() << "the simulated service recorded a violation: " << violation;
    for (const std::string& fragment : fragments_)
        if (std::none_of(violations.begin(), violations.end(),
                         [&](const std::string& violation) { return covers(violation, fragment); }))
            ADD_FAILURE() << "an expected violation was not recorded: " << fragment;
}
