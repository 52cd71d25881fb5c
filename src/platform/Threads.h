// Starting a detached thread: it runs one function and ends by itself; nothing joins it.
// Any thread may start one.
#pragma once
#include <functional>

// Runs `run` on a new thread. False when no thread could be started; `run` is then not called.
// `run` must not throw.
bool StartDetachedThread(std::function<void()> run);

// Tests: the next `count` starts fail as a system out of threads would fail them.
void RefuseThreadStartsForTesting(int count);
// Takes one refusal when some are left; StartDetachedThread's first step.
bool ThreadStartRefusedForTesting();
