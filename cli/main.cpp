// mopwright-cli: the clean-up for scripts and build servers, on the same engine
// and rules as the window program, with a dry run that shows what would go.
// The options are read by cli/Options.h's table, each command runs in
// cli/Commands.cpp and prints its report through cli/Reports.h.
#include <windows.h>
#include <string>

#include "cli/Commands.h"
#include "cli/ConsoleHost.h"
#include "cli/Options.h"
#include "cli/SelfCheck.h"
#include "engine/records/Beep.h"
#include "support/ComInit.h"

namespace {

void NoBeep(UINT) {}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    // Ctrl+C from the very first moment on: the program says it was stopped.
    InstallConsoleStopHandler();
    // Apartment-threaded COM on the thread that recycles, for the shell's file operation.
    ScopedComInit com;
    OPTIONS options;
    std::wstring problem;
    if (!ParseArguments(argc, argv, options, problem)) {
        WriteOut(stderr, problem + UsageText() + L"Try 'mopwright-cli --help'.\n");
        return kExitUsage;
    }
    if (options.help) {
        WriteOut(stdout, std::wstring(UsageText()) + L"\n" + HelpText());
        return kExitOk;
    }
    if (options.version) return RunVersion();
    if (options.installShellMenu || options.uninstallShellMenu) return RunShellMenu(options);
    SetEngineBeepHook(NoBeep);   // a console program does not beep
    if (options.check) return RunSelfCheck(options.folders.front());
    int code = options.restore ? RunRestore(options) : options.dryRun ? RunDry(options) : RunClean(options);
    if (ConsoleStopRequested()) {
        WriteOut(stderr, L"mopwright-cli: stopped by Ctrl+C.\n");
        code = kExitFailed;
    }
    return code;
}
