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
//   rules                       (a block of rules from the window was taken or refused, or
//                                its input closed: the rules in force are the ones to wait for)
// The window writes blocks of ignore rules to the helper's standard input, the same way:
//   rules
//   line <a line of the user's list>
//   pattern <0 ignores|1 keeps> <a pattern as an option gives it>
//   tree <folder of a tree's ignore file, "" for the top>
//   treeline <a line of the tree file begun last>
//   end
// A block replaces the rules the helper had; a block refused leaves the helper with none.
// A rename is one line of kind 5 with its old path; every other kind has an empty old path.
// Paths are relative to the watched folder, without a leading "/", and never hold an empty,
// "." or ".." part.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "watch/ChangeRecord.h"
#include "watch/ChangeSource.h"
#include "watch/EngineStatus.h"
#include "watch/IgnoreRules.h"

namespace qzx {

/// The longest line either side writes or accepts, in bytes.
constexpr std::size_t kHelperLineMax = 64 * 1024;

/// The most lines and bytes of one rules block, its first and last line included: a root
/// process holds no more than this of what the user sends.
constexpr std::size_t kHelperRulesMaxLines = 65536;
constexpr std::size_t kHelperRulesMaxBytes = 4 * 1024 * 1024;

/// One line of the stream, read.
struct HelperMessage {
    enum class Kind { Engine, Ready, Change, Overflow, Warning, Ended, Rules };
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

/// The block that hands rules (null: none) to the helper. Rules too many for the bounds
/// become the block of none: the window's recorder still leaves out what they ignore.
std::string HelperRulesBlock(const IgnoreRules* rules);

/// A rules block as the helper read it: the rules (null for none), or why it was refused.
struct HelperRulesRead {
    std::shared_ptr<const IgnoreRules> rules;
    std::string error;
};

/// Reads rules blocks from the bytes of the helper's standard input, in pieces as they come.
/// A bad block is refused whole; what follows it up to the next "rules" line is passed over.
class HelperRulesReader {
  public:
    /// The blocks that the bytes complete or refuse, in order.
    std::vector<HelperRulesRead> Read(std::string_view bytes);

  private:
    void Line(std::string_view line, std::vector<HelperRulesRead>& out);
    void Refuse(const std::string& why, std::vector<HelperRulesRead>& out);

    std::string buffered;
    bool skipping = false;  // until the end of an overlong line, or the next block
    bool inBlock = false;
    bool passingOver = false;  // the rest of a refused block
    std::size_t lines = 0;
    std::size_t bytes = 0;
    std::shared_ptr<IgnoreRules> pending;
};

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
