// The count of project changes the host has announced, kept process-wide so that the host's
// notification takes effect at once, before the palette has run anything: every later host
// call-back compares it with the generation its page was loaded in. Any thread.
#pragma once
#include <cstdint>

// Counts one project change. Called from the host's project notification.
void NoteProjectChange();

// The number of project changes announced so far.
uint32_t CurrentProjectGeneration();
