// The command line and the console on Windows: the wide command line made
// UTF-8, UTF-8 output, line-erasing escapes, and the console put back as it
// was when the process ends.
#include "console.h"
#include "windows_text.h"

#include <io.h>
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

namespace kelvarin {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) {
        return std::vector<std::string>(argv, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

namespace {

// What PrepareConsole changed, to be put back: the console belongs to the
// user's shell, which must not be left on UTF-8 or with our modes.
struct SavedConsole {
    UINT outputCodePage = 0;  // 0: not changed
    HANDLE handles[2] = {INVALID_HANDLE_VALUE, INVALID_HANDLE_VALUE};
    DWORD modes[2] = {0, 0};
};
SavedConsole g_saved;

void RestoreConsole() {
    if (g_saved.outputCodePage != 0) {
        SetConsoleOutputCP(g_saved.outputCodePage);
    }
    for (int i = 0; i < 2; ++i) {
        if (g_saved.handles[i] != INVALID_HANDLE_VALUE) {
            SetConsoleMode(g_saved.handles[i], g_saved.modes[i]);
        }
    }
}

// Called last of the console's stop handlers (it is installed first): when
// none of the program's own took the event, the process ends without running
// its exit handlers, so the console is put back here.
BOOL WINAPI RestoreOnStop(DWORD /*event*/) {
    RestoreConsole();
    return FALSE;
}

}  // namespace

void PrepareConsole() {
    static bool prepared = false;
    if (prepared) {
        return;
    }
    prepared = true;
    const UINT outputCodePage = GetConsoleOutputCP();
    if (outputCodePage != 0 && outputCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        g_saved.outputCodePage = outputCodePage;
    }
    const DWORD streams[2] = {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 2; ++i) {
        HANDLE handle = GetStdHandle(streams[i]);
        DWORD mode = 0;
        if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) &&
            (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
            SetConsoleMode(handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
            g_saved.handles[i] = handle;
            g_saved.modes[i] = mode;
        }
    }
    std::atexit(RestoreConsole);
    SetConsoleCtrlHandler(RestoreOnStop, TRUE);
}

void UseParentConsole() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output != nullptr && output != INVALID_HANDLE_VALUE) ||
        !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    // The C runtime opened its streams on nothing at start: open them again.
    std::FILE* ignored = nullptr;
    freopen_s(&ignored, "CONOUT$", "w", stdout);
    freopen_s(&ignored, "CONOUT$", "w", stderr);
    PrepareConsole();
}

bool IsTerminal(std::FILE* stream) {
    return _isatty(_fileno(stream)) != 0;
}

}  // namespace kelvarin
