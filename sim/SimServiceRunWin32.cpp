// The Windows build has no in-process service: its HTTPS server is built on OpenSSL, which the
// Windows build does not carry.
#include "sim/SimServiceRun.h"

std::unique_ptr<SimServiceRun> StartSimServiceRun(const SimOptions&, std::string* error) {
    *error =
        "the simulated service (--service, --signed-in, --approve) runs only in the Linux build's tamsel-sim; "
        "under Wine, start the Linux build's tamsel-service and test against it";
    return nullptr;
}
