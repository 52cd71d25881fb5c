// Starting a worker thread under the worker contract: counted in the Mailbox's `workers`, given
// only copies, never touching the palette, and ending by posting its completion to the Mailbox.
#pragma once
#include <functional>

#include "panel/Mailbox.h"

class Palette;

// The worker's body: runs on the worker thread with what it captured by copy, and returns the
// function that completes the request on the host thread.
using WorkerBody = std::function<PaletteFunction()>;

// Host thread only. Counts the worker, starts `body` on a detached thread, posts the completion
// it returns for the palette's serving request (handed off to it), and uncounts the worker as
// its last act. When the thread cannot be started, `onError` runs at once; when the body throws,
// `onError` is posted as the completion, so the request still gets its one reply.
void StartWorker(Palette& palette, WorkerBody body, PaletteFunction onError);
