// Getting work back onto the host thread: draining the Mailbox, the model-operation pump and
// the host's event-loop call. Host thread only.
#pragma once

class Palette;

// Runs the functions posted to the Mailbox, in posting order; with model operations also
// advances the pump and the self-test by one step. A drain inside a drain does nothing.
void DrainMailbox(Palette& palette, bool withModelOps);

// Runs at most one queued model step.
void RunModelOps(Palette& palette);

// Asks the host to call the add-on's module command back from its event loop, so the waiting
// event-loop calls run there; when the host refuses, they run at once.
void RequestEventLoopCall(Palette& palette);

// Runs and empties the waiting event-loop calls, in order.
void RunEventLoopCalls(Palette& palette);

// The 100 ms thread timer: drains the live palette's Mailbox without model operations.
void OnTimer();
