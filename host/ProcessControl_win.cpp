#include "host/ProcessControl.h"

#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"
#include "host/EntrySequence.h"
#include "host/HostFiles.h"

#include <shellapi.h>

bool TerminateSelf() {
    UniqueHandle self(OpenProcess(PROCESS_TERMINATE, FALSE, GetCurrentProcessId()));
    if (!self) return false;
    return TerminateProcess(self.Get(), kForcedExitCode) != FALSE;
}

void StartEmergencyHelper(const std::string& programFolder) {
    const std::string path = programFolder + kEmergencyHelperName;
    if (!FileExistsUtf8(path)) return;
    ShellExecuteW(nullptr, L"open", Widen(path).c_str(), nullptr, nullptr, SW_HIDE);
}
