// The request routing: the one place that names every request type. Host thread only.
#pragma once
#include <string>

class Palette;

// Parses one request text and routes it: answered at once, started on a worker, or queued as a
// model operation. Texts that are not a JSON object with an id of 1 to 128 bytes are dropped.
void Dispatch(Palette& palette, const std::string& text);

// True for the request types that are queued as model operations.
bool IsModelOpType(const std::string& type);

// Hands the bridge's core the calls it makes upwards: requests, queued operations, the
// capture's deadline step and the self-test's hooks. Called when the host loads the add-on.
void InstallRouting();
