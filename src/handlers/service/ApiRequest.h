// The "api" request: one exchange with the service, checked on the host thread and run on a
// worker thread of its own, with the device sign-in, sign-out, uploads of stored files and
// downloads into the store.
#pragma once
#include <rapidjson/fwd.h>

#include <memory>
#include <string>

#include "panel/RequestTag.h"
#include "platform/Secure.h"

class Palette;
struct Mailbox;

// One checked request, handed by value to its worker.
struct ApiJob {
    RequestTag tag;  // the request, and the page load that sent it
    std::string method;
    std::string path;  // normalised, with its query string
    std::string body;  // compact JSON text
    std::string contentType;
    std::string filename;  // percent-encoded
    std::string idempotencyKey;
    std::string fileRef;  // the stored file an upload sends
    bool hasJsonBody = false;
    bool binary = false;
    bool noCache = false;
};

// Host thread: checks the payload and either answers at once or starts the worker.
void HandleApi(Palette& palette, const std::string& id, const rapidjson::Value& payload);

// Worker thread: sends the job with `token` (empty for none) and posts exactly one completion
// for its id, preceded by the revocation step when a token it carried was refused.
void RunApi(const std::shared_ptr<Mailbox>& mailbox, const ApiJob& job, const SecretString& token,
            const std::u16string& language, bool signOut);

// True when TAMSEL_OVRA_BLOCK_PAID is set to a value of 1 to 7 characters beginning with "1".
bool PaidCallsBlocked();

// "Archicad 30 · " + the computer's name; "Archicad 30" when the name cannot be read, is empty
// or is longer than 15 UTF-16 units.
std::string DeviceName();
