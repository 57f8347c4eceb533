// Stop requests, output and time zone for qzxwatch on Windows.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <atomic>
#include <chrono>

#include "app/cli/Console.h"
#include "base/WideText_win32.h"

namespace qzx::cli {
namespace {

constexpr UINT kGbkCodePage = 936;

// Manual reset: once asked, every later wait answers at once.
HANDLE stopEvent = nullptr;
HANDLE wakeEvent = nullptr;  // auto-reset: a wake-up ends one wait
std::atomic<bool> outputGbk{false};

// Runs on a thread the system makes for the event; it only signals the main thread.
BOOL WINAPI OnConsoleControl(DWORD type) {
    if (stopEvent) ::SetEvent(stopEvent);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        // The system ends the process as soon as this returns; holding it gives the main thread
        // the few seconds the system allows to print and log what was already read. The process
        // ends when main returns, with this wait still pending.
        ::Sleep(5000);
    }
    return TRUE;
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

bool WriteAll(HANDLE handle, const char* data, std::size_t size) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    while (size > 0) {
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

std::wstring FromGbk(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) ::MultiByteToWideChar(kGbkCodePage, 0, bytes.data(), size, text.data(), length);
    return text;
}

// A console shows characters whatever its code page; a pipe or a file gets the bytes.
bool Write(HANDLE handle, const std::string& bytes, bool gbk) {
    if (!IsConsole(handle)) return WriteAll(handle, bytes.data(), bytes.size());
    const std::wstring text = gbk ? FromGbk(bytes) : Widen(bytes);
    const wchar_t* data = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        const DWORD chunk = size > 8192 ? 8192 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteConsoleW(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

void PrepareStopSignals() {
    stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wakeEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

std::vector<std::string> CommandLineArguments(int, char**) {
    // The narrow argv holds the ANSI code page's guess; the wide command line holds the names.
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return args;
    for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

void SetOutputGbk(bool gbk) { outputGbk.store(gbk); }

bool WaitForStopSignal(int timeoutMs) {
    if (!stopEvent) {
        ::Sleep(static_cast<DWORD>(timeoutMs));
        return false;
    }
    if (!wakeEvent)
        return ::WaitForSingleObject(stopEvent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
    const HANDLE events[2] = {stopEvent, wakeEvent};
    return ::WaitForMultipleObjects(2, events, FALSE, static_cast<DWORD>(timeoutMs)) ==
           WAIT_OBJECT_0;
}

void WakeMain() {
    if (wakeEvent) ::SetEvent(wakeEvent);
}

bool WriteOut(const std::string& bytes) {
    return Write(::GetStdHandle(STD_OUTPUT_HANDLE), bytes, outputGbk.load());
}

void WriteErrLine(const std::string& line) {
    Write(::GetStdHandle(STD_ERROR_HANDLE), line + "\n", false);
}

// Windows has no journal that reads priority prefixes from a program's standard error.
bool ErrIsJournal() { return false; }

int UtcOffsetMinutes(const LocalTime& t) {
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(t.year);
    local.wMonth = static_cast<WORD>(t.month);
    local.wDay = static_cast<WORD>(t.day);
    local.wHour = static_cast<WORD>(t.hour);
    local.wMinute = static_cast<WORD>(t.minute);
    local.wSecond = static_cast<WORD>(t.second);
    SYSTEMTIME utc{};
    FILETIME localFile{};
    FILETIME utcFile{};
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
        !::SystemTimeToFileTime(&local, &localFile) || !::SystemTimeToFileTime(&utc, &utcFile)) {
        return 0;
    }
    // FILETIME counts 100-ns steps: 600,000,000 to the minute.
    const long long difference =
        static_cast<long long>(Ticks(localFile)) - static_cast<long long>(Ticks(utcFile));
    return static_cast<int>(difference / 600000000LL);
}

long long SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace qzx::cli
