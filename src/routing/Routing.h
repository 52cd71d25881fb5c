// The request routing: the one place that names every request type. Host thread only.
#pragma once
#include <cstdint>
#include <string>

class Palette;

// Parses one request text that the page sent during page load `load` and routes it: answered at
// once, started on a worker, or queued as a model operation. Texts that are not a JSON object
// with an id of 1 to 128 bytes are dropped; so is a request of a load since replaced, logged
// "reply dropped after reload " + id.
void Dispatch(Palette& palette, const std::string& text, uint64_t load);

// True for the request types that are queued as model operations.
bool IsModelOpType(const std::string& type);

// Hands the bridge's core the calls it makes upwards: requests, queued operations, and the
// palette's events and reserved replies, which go to the self-test. Called when the host loads the add-on.
void InstallRouting();
