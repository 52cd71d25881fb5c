// The process-wide project generation.
#include "panel/ProjectGeneration.h"

#include <atomic>

namespace {
std::atomic<uint32_t> gGeneration{0};
}  // namespace

void NoteProjectChange() { gGeneration.fetch_add(1); }

uint32_t CurrentProjectGeneration() { return gGeneration.load(); }
