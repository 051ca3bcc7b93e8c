// Child processes for tests on Windows, with CreateProcessW and pipes. Every
// child joins one job object that ends its members when the test process
// goes away, so a crashed test never leaves a server behind.
#include "child_process.h"
#include "windows_text.h"

#include <windows.h>

#include <chrono>
#include <thread>

namespace kelvarin::test {

namespace {

// The job every child joins; ended with the last handle, the test's own.
HANDLE ChildJob() {
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created) {
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                    sizeof limits);
        }
        return created;
    }();
    return job;
}

// One argument quoted as CommandLineToArgvW and the C runtime read it back:
// backslashes are literal except before a quote.
std::wstring Quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::wstring CommandLine(const std::vector<std::string>& argv) {
    std::wstring line;
    for (const std::string& argument : argv) {
        if (!line.empty()) {
            line += L' ';
        }
        line += Quoted(WideFromUtf8(argument));
    }
    return line;
}

// A pipe whose writing end a child inherits; false when it cannot be made.
bool InheritedPipe(HANDLE& read, HANDLE& write) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inherit, 0)) {
        return false;
    }
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    return true;
}

// Starts argv with standard input empty and standard output and error on
// the given handles (error on output's when none); the process handle, or
// nullptr.
HANDLE Spawn(const std::vector<std::string>& argv, HANDLE output, HANDLE error) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = error ? error : output;
    std::wstring line = CommandLine(argv);
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(input);
    if (!started) {
        return nullptr;
    }
    AssignProcessToJobObject(ChildJob(), process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return process.hProcess;
}

// Reads handle to its end into out.
void ReadToEnd(HANDLE handle, std::string& out) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
}

// Waits for process to end and closes it; its exit code.
int WaitAndClose(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return known ? static_cast<int>(code) : -1;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv) {
    RunResult result;
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE errRead = nullptr;
    HANDLE errWrite = nullptr;
    if (!InheritedPipe(outRead, outWrite)) {
        return result;
    }
    if (!InheritedPipe(errRead, errWrite)) {
        CloseHandle(outRead);
        CloseHandle(outWrite);
        return result;
    }
    HANDLE process = Spawn(argv, outWrite, errWrite);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    // Both pipes at once, so a child that fills one never waits on the other.
    std::thread errors(ReadToEnd, errRead, std::ref(result.err));
    ReadToEnd(outRead, result.out);
    errors.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    if (process) {
        result.exitCode = WaitAndClose(process);
    }
    // Read as text, as the tests compare it: Windows ends lines with CR LF.
    for (std::string* text : {&result.out, &result.err}) {
        for (std::size_t at = text->find("\r\n"); at != std::string::npos;
             at = text->find("\r\n", at)) {
            text->erase(at, 1);
        }
    }
    return result;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!InheritedPipe(read, write)) {
        return;
    }
    HANDLE process = Spawn(argv, write, nullptr);
    CloseHandle(write);
    m_output = reinterpret_cast<std::intptr_t>(read);
    if (process) {
        m_process = reinterpret_cast<std::intptr_t>(process);
    }
}

ChildProcess::~ChildProcess() {
    Stop();
    if (m_output != kNone) {
        CloseHandle(reinterpret_cast<HANDLE>(m_output));
    }
}

std::string ChildProcess::ReadLine(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    const HANDLE output = reinterpret_cast<HANDLE>(m_output);
    for (;;) {
        const std::size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            return line;
        }
        if (m_output == kNone || std::chrono::steady_clock::now() >= deadline) {
            return {};
        }
        // Anonymous pipes cannot be waited on with a time-out: look, then nap.
        DWORD available = 0;
        if (!PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr)) {
            return {};  // the writer is gone and everything has been read
        }
        if (available == 0) {
            Sleep(5);
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(output, buffer, available < sizeof buffer ? available : sizeof buffer, &got,
                      nullptr) ||
            got == 0) {
            return {};
        }
        m_pending.append(buffer, got);
    }
}

int ChildProcess::Stop(int /*signal*/) {
    if (m_process == kNone) {
        return -1;
    }
    const HANDLE process = reinterpret_cast<HANDLE>(m_process);
    TerminateProcess(process, 1);
    WaitAndClose(process);
    m_process = kNone;
    return -1;
}

}  // namespace kelvarin::test
