// Where the log goes on Windows: beside the program, or in the user's local application data
// when the program's folder cannot take it; and the bytes of a line as they reach the disk.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/Gbk.h"
#include "base/WideText_win32.h"
#include "records/DailyLog.h"
#include "tests/support/FakeClock.h"
#include "tests/support/ScopedVariable_win32.h"
#include "tests/support/TempFolder_win32.h"

namespace qzx {
namespace {

using test::FakeClock;
using test::ReadBytes;
using test::ScopedVariable;
using test::TempFolder;
using test::W;
using test::WriteBytes;

std::string ThisProgram() {
    wchar_t path[32768];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, 32768);
    return Narrow(std::wstring(path, n));
}

TEST(DailyLogWin32, LocationsAreProgramFolderAndLocalAppData) {
    TempFolder temp;
    ScopedVariable local(L"LOCALAPPDATA", Widen(temp.Sub("本地")));
    const LogLocations places = SystemLogLocations();
    const std::string program = ThisProgram();
    ASSERT_FALSE(places.moduleDirectory.empty());
    EXPECT_EQ(places.moduleDirectory.back(), '\\');
    EXPECT_EQ(program.rfind(places.moduleDirectory, 0), 0u) << program;
    EXPECT_EQ(program.find('\\', places.moduleDirectory.size()), std::string::npos);
    EXPECT_EQ(places.userLogDirectory, temp.Sub("本地\\QzxFile\\log\\"));
}

// A relative value is no folder; the shell's own answer is used instead.
TEST(DailyLogWin32, RelativeLocalAppDataIsIgnored) {
    ScopedVariable local(L"LOCALAPPDATA", L"relative\\folder");
    const LogLocations places = SystemLogLocations();
    ASSERT_GE(places.userLogDirectory.size(), 3u);
    EXPECT_EQ(places.userLogDirectory.substr(1, 2), ":\\");
    EXPECT_EQ(places.userLogDirectory.find("relative"), std::string::npos);
}

// With a file named "log" beside the program, the folder there cannot be made: the lines go
// to the user's folder instead, GBK with CR LF, one per call.
TEST(DailyLogWin32, FallsBackToUserFolderAndWritesGbkLines) {
    TempFolder temp;
    LogLocations places;
    places.moduleDirectory = temp.Sub("Program Files\\QzxFile\\");
    places.userLogDirectory = temp.Sub("Local\\QzxFile\\log\\");
    ASSERT_EQ(SystemFileSystem().MakeFolders(places.moduleDirectory), 1);
    ASSERT_TRUE(WriteBytes(places.moduleDirectory + "log", "not a folder"));

    FakeClock clock({2026, 12, 7, 9, 5, 3});
    DailyLog log(clock, SystemFileSystem(), places, AppendGbk);
    EXPECT_EQ(log.CreateLogDirectory(), 1);
    EXPECT_TRUE(log.UsesUserDirectory());
    EXPECT_EQ(log.LogDirectory(), places.userLogDirectory);
    EXPECT_EQ(log.AppendLines({"7\t新增\tD:\\数据\\a.txt"}, clock.Now()), 1u);
    EXPECT_EQ(log.AppendLines({"7\t新增\tD:\\数据\\a.txt"}, clock.Now()), 1u);
    const std::string line =
        "2026-12-07 09:05:03\t7\t\xD0\xC2\xD4\xF6\tD:\\\xCA\xFD\xBE\xDD\\a.txt\r\n";
    EXPECT_EQ(ReadBytes(places.userLogDirectory + "2026-12-7.log"), line + line);
    EXPECT_EQ(ReadBytes(places.moduleDirectory + "log"), "not a folder");
}

// The usual case: a writable program folder gets its "log" folder at start-up.
TEST(DailyLogWin32, UsesFolderBesideProgramWhenWritable) {
    TempFolder temp;
    LogLocations places;
    places.moduleDirectory = temp.Sub("Tools\\");
    places.userLogDirectory = temp.Sub("Local\\QzxFile\\log\\");
    ASSERT_EQ(SystemFileSystem().MakeFolders(places.moduleDirectory), 1);
    FakeClock clock({2027, 1, 1, 0, 0, 0});
    DailyLog log(clock, SystemFileSystem(), places, AppendGbk);
    EXPECT_EQ(log.CreateLogDirectory(), 1);
    EXPECT_FALSE(log.UsesUserDirectory());
    EXPECT_EQ(log.LogDirectory(), temp.Sub("Tools\\log\\"));
    EXPECT_EQ(log.AppendLines({"1\t删除\tC:\\x"}, clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(temp.Sub("Tools\\log\\2027-1-1.log")),
              "2027-01-01 00:00:00\t1\t\xC9\xBE\xB3\xFD\tC:\\x\r\n");
    // A day's file deleted by hand comes back with the next line.
    ASSERT_TRUE(::DeleteFileW(W(temp.Sub("Tools\\log\\2027-1-1.log")).c_str()));
    EXPECT_EQ(log.AppendLines({"2\t删除\tC:\\y"}, clock.Now()), 1u);
    EXPECT_EQ(ReadBytes(temp.Sub("Tools\\log\\2027-1-1.log")),
              "2027-01-01 00:00:00\t2\t\xC9\xBE\xB3\xFD\tC:\\y\r\n");
    EXPECT_EQ(test::EntryCount(temp.Sub("Local")), 0);
}

}  // namespace
}  // namespace qzx
