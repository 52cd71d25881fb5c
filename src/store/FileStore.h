// The per-user file store.
#pragma once

// Deletes stored files older than the given number of days.
void PruneStore(int days);
