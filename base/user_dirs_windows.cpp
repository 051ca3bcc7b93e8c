// The per-user folders on Windows: %LOCALAPPDATA% and %APPDATA%.
#include "user_dirs.h"
#include "windows_text.h"

#include <windows.h>

namespace kelvarin {

const char* const kUnknownDataFolder = "%LOCALAPPDATA%";
const char* const kAppFolderName = "Kelvarin";
const UserPlaceNames kUserPlaceNames{"APPDATA, LOCALAPPDATA",
                                     "LOCALAPPDATA",
                                     "%APPDATA%\\kelvarin.ini",
                                     "",
                                     "%LOCALAPPDATA%\\Kelvarin\\a.dat",
                                     "",
                                     "%LOCALAPPDATA%\\Kelvarin\\journal.sqlite",
                                     "",
                                     "LOCALAPPDATA"};

namespace {

// The value of the environment variable name, in UTF-8; nothing when unset.
std::optional<std::string> Variable(const wchar_t* name) {
    wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, sizeof value / sizeof value[0]);
    if (length == 0 || length >= sizeof value / sizeof value[0]) {
        return std::nullopt;
    }
    return Utf8FromWide(std::wstring_view(value, length));
}

}  // namespace

std::optional<std::string> UserDataFolder() {
    return Variable(L"LOCALAPPDATA");
}

std::optional<std::string> UserConfigFolder() {
    return Variable(L"APPDATA");
}

std::optional<std::string> UserStateFolder() {
    return Variable(L"LOCALAPPDATA");
}

std::string UserName() {
    wchar_t name[257];
    DWORD size = sizeof name / sizeof name[0];
    if (GetUserNameW(name, &size) && size > 1) {
        return Utf8FromWide(std::wstring_view(name, size - 1));
    }
    return "unknown";
}

std::string HostName() {
    wchar_t name[256];
    DWORD size = sizeof name / sizeof name[0];
    if (GetComputerNameExW(ComputerNameDnsHostname, name, &size) && size > 0) {
        return Utf8FromWide(std::wstring_view(name, size));
    }
    return "unknown";
}

}  // namespace kelvarin
