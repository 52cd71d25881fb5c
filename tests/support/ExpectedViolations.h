// What a test declares of the simulated service's violations (RequestRules.h), and the check at
// its end: every violation must be one the test declared, and every declaration must have been
// met, so a test that sends a bad request on purpose says so and the check is never weakened.
#pragma once
#include <string>
#include <vector>

class ExpectedViolations {
public:
    // A violation that holds `fragment` will be recorded, once or more.
    void Expect(std::string fragment);
    // Adds a test failure for each violation no declaration covers and for each declaration
    // that no violation met.
    void Check(const std::vector<std::string>& violations) const;

private:
    std::vector<std::string> fragments_;
};
