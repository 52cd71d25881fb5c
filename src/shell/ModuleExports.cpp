// The two functions through which the host loads the add-on.
#include "host/AddonAbi.h"
#include "host/AddonResources.h"
#include "host/HostApi.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Http.h"
#include "platform/NativeWindows.h"
#include "routing/Routing.h"
#include "shell/Shell.h"

extern "C" {

TOVR_EXPORT void GetExportedFuncAddrs(AddonExports* exports) {
    if (exports == nullptr) return;
    InstallRouting();
    exports->checkEnvironment = CheckEnvironment;
    exports->registerInterface = RegisterInterface;
    exports->initialize = Initialize;
    exports->freeData = FreeData;
    exports->resources = &ModuleResources();
}

TOVR_EXPORT void SetImportedFuncAddrs(const HostImports* imports) {
    InstallHost(imports ? imports->host : nullptr);
    const HostExtension* extension = imports ? imports->extension : nullptr;
    InstallClockProvider(extension ? extension->clock : nullptr);
    InstallNativeWindows(extension ? extension->windows : nullptr);
    InstallLauncher(extension ? extension->launcher : nullptr);
    InstallDialogs(extension ? extension->dialogs : nullptr);
    ServiceEndpoint endpoint;
    if (extension != nullptr && extension->servicePort != 0) {
        endpoint.port = extension->servicePort;
        endpoint.caFile = extension->serviceCaFile ? extension->serviceCaFile : "";
        endpoint.timeoutDivisor = extension->serviceTimeoutDivisor > 1 ? extension->serviceTimeoutDivisor : 1;
    }
    SetServiceEndpoint(endpoint);
}
}
