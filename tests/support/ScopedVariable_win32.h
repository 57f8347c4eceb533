// An environment variable set for one test and put back afterwards, on Windows.
#pragma once

#include <windows.h>

#include <string>

namespace qzx::test {

/// Sets name to value (nullptr: removes it) until destroyed, then restores the old value.
class ScopedVariable {
  public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name(name) {
        wchar_t old[32768];
        const DWORD n = ::GetEnvironmentVariableW(name, old, 32768);
        had = n > 0 && n < 32768;
        if (had) oldValue.assign(old, n);
        ::SetEnvironmentVariableW(name, value);
    }
    ScopedVariable(const wchar_t* name, const std::wstring& value)
        : ScopedVariable(name, value.c_str()) {}
    ~ScopedVariable() { ::SetEnvironmentVariableW(name, had ? oldValue.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

  private:
    const wchar_t* name;
    bool had = false;
    std::wstring oldValue;
};

}  // namespace qzx::test
