// A flag that is set for as long as a scope runs and cleared however the scope is left, a return
// or an exception: the pump's "draining" state.
#pragma once

class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};
