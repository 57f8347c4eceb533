// What the privileged helper (qzxfile-helper) tells the window through its standard output,
// and the arguments it takes: one folder, nothing else. Both sides are here, so that the
// helper writes what the window reads; both are strict, since one side runs as root and the
// other must not trust a stream it did not write.
//
// A stream is lines ending with "\n", fields separated by TABs. Bytes below 0x20, 0x7F, "%"
// and TAB inside a field are written as %XX (two upper-case hex digits); nothing else is.
//   engine <0|1 knows processes> <summary> <why not the whole-tree engine>
//   ready
//   change <kind 1..6> <ms since 1970> <pid> <name> <program file> <path> <old path>
//   overflow
//   warning <0 unreadable folder|1 watch limit> <path>
//   ended
// A rename is one line of kind 5 with its old path; every other kind has an empty old path.
// Paths are relative to the watched folder, without a leading "/", and never hold an empty,
// "." or ".." part.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watch/ChangeRecord.h"
#include "watch/ChangeSource.h"
#include "watch/EngineStatus.h"

namespace qzx {

/// The longest line either side writes or accepts, in bytes.
constexpr std::size_t kHelperLineMax = 64 * 1024;

/// One line of the stream, read.
struct HelperMessage {
    enum class Kind { Engine, Ready, Change, Overflow, Warning, Ended };
    Kind kind = Kind::Ready;
    EngineStatus engine;      // Engine
    ChangeBatch records;      // Change: one record, or the two of a rename (4 then 5)
    std::int64_t timeMs = 0;  // Change
    WatchWarning warning = WatchWarning::UnreadableFolder;  // Warning
    std::string path;                                       // Warning
};

/// The line for an engine status, with its "\n".
std::string HelperEngineLine(const EngineStatus& engine);
/// The line for a change (a rename's two records given together), with its "\n"; empty when
/// the record cannot be told (a path the stream does not allow, a rename without its half).
std::string HelperChangeLine(const ChangeRecord& record, const ChangeRecord* renamedFrom,
                             std::int64_t timeMs);
/// The line for a warning, with its "\n".
std::string HelperWarningLine(WatchWarning warning, const std::string& path);

/// Reads one line, without its "\n"; nullopt for anything that is not exactly one of the
/// lines above (unknown word, wrong number of fields, bad escape, number out of range, a path
/// that leaves the folder).
std::optional<HelperMessage> ParseHelperLine(std::string_view line);

/// True for a relative path that stays below the folder: no leading "/", no empty, "." or
/// ".." part, no NUL.
bool IsPathBelow(std::string_view path);

/// What the helper was asked to do, read from its arguments and the caller's uid as pkexec
/// gives it (PKEXEC_UID; empty when it was not started through pkexec).
struct HelperRequest {
    std::string folder;                 // absolute, as given
    std::optional<unsigned> callerUid;  // whose right to read the folder is checked
    std::string error;                  // why the request is refused; empty when it is not
};

/// The arguments after the program's name: exactly "--folder" and an absolute path of at most
/// 4095 bytes without NUL, "." or ".." parts. PKEXEC_UID, when set, must be a decimal number
/// below 2^32 - 1 without sign or leading zero.
HelperRequest ParseHelperArguments(const std::vector<std::string>& args, const char* pkexecUid);

}  // namespace qzx
