// The module the host contract runs as: its load's registration calls, made with the add-on's
// own arguments, and its handlers, which note how the host calls them.
#include "host/ContractHost.h"

ContractLoad& LoadResults() {
    static ContractLoad load;
    return load;
}

ContractCalls& Calls() {
    static ContractCalls calls;
    return calls;
}

HostError ContractMenuCommand(const MenuParams&) {
    ++Calls().menuCommands;
    return kHostOk;
}

HostError ContractModuleCommand(void*, void*, bool silentMode) {
    ContractCalls& calls = Calls();
    ++calls.moduleCommands;
    calls.lastSilent = silentMode;
    calls.order.push_back("command");
    if (calls.inIdle) calls.commandInsideIdle = true;
    return kHostOk;
}

HostError ContractPaletteControl(int32_t, int32_t, intptr_t) { return kHostOk; }

HostError ContractRegisterInterface() {
    HostApi& host = ContractHost();
    ContractLoad& load = LoadResults();
    load.service = host.RegisterSupportedService(FourCharCode("TOVR"), 1);
    load.menu = host.RegisterMenu(&World().Resources(), kContractMenuResId, 0, 0, 0);
    return load.service != kHostOk ? load.service : load.menu;
}

HostError ContractInitialize() {
    HostApi& host = ContractHost();
    ContractLoad& load = LoadResults();
    load.menuHandler = host.InstallMenuHandler(kContractMenuResId, ContractMenuCommand);
    load.moduleCommand = host.InstallModuleCommandHandler(FourCharCode("TOVR"), 1, ContractModuleCommand);
    load.palette = host.RegisterPalette(kContractPaletteRefId, ContractPaletteControl, kContractPaletteFlags,
                                        kContractPaletteGuid);
    return load.menuHandler != kHostOk ? load.menuHandler : load.palette;
}
