// The store holds no files yet, so pruning has nothing to do.
#include "store/FileStore.h"

void PruneStore(int) {}
