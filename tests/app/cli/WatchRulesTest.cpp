// The command line of qzxwatch and the way it prints a change.
#include <gtest/gtest.h>

#include "app/cli/RowFormat.h"
#include "app/cli/WatchArguments.h"
#include "records/DailyLog.h"
#include "watch/ChangeKind.h"

namespace qzx::cli {
namespace {

std::optional<WatchArguments> Parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string ignored;
    return ParseWatchArguments(args, error ? *error : ignored);
}

EventRow Row(int id, int action, std::string details) {
    EventRow row;
    row.id = id;
    row.hour = 9;
    row.minute = 5;
    row.second = 3;
    row.action = static_cast<std::uint8_t>(action);
    row.details = std::move(details);
    return row;
}

LocalTime When() { return LocalTime{2026, 12, 7, 9, 5, 3}; }

// Stands for the GBK encoder, which lives in the platform layer: shows what went through it.
void Bracketed(std::string_view text, std::string& out) {
    out += '[';
    out += text;
    out += ']';
}

TEST(WatchArguments, DefaultsAreTheWindowsKindsWithoutAutomaticClearing) {
    const auto a = Parse({"/data"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->folder, "/data");
    EXPECT_EQ(a->form, OutputForm::Utf8Lines);
    EXPECT_TRUE(a->duplicateWindow);
    EXPECT_TRUE(a->logDirectory.empty());
    const MonitorOptions o = a->options;
    EXPECT_EQ(o.optAdded + o.optModified + o.optDeleted + o.optRenamed, 4);
    EXPECT_EQ(o.optOther, 0);
    // IDs run on: a list that nobody sees must never clear itself and restart them.
    EXPECT_EQ(o.optAutoClear, 0);
    EXPECT_EQ(o.optRecordLog, 0);
}

TEST(WatchArguments, OptionsSetWhatTheyName) {
    const auto a = Parse({"--kinds", "other,deleted", "--json", "--log=/var/log/q",
                          "--no-dup-window", "--", "-odd folder"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->folder, "-odd folder");
    EXPECT_EQ(a->form, OutputForm::Json);
    EXPECT_FALSE(a->duplicateWindow);
    EXPECT_EQ(a->logDirectory, "/var/log/q");
    EXPECT_EQ(a->options.optRecordLog, 1);
    EXPECT_EQ(a->options.optOther, 1);
    EXPECT_EQ(a->options.optDeleted, 1);
    EXPECT_EQ(a->options.optAdded + a->options.optModified + a->options.optRenamed, 0);
    EXPECT_EQ(Parse({"--gbk", "d"})->form, OutputForm::GbkLines);
    EXPECT_EQ(Parse({"--kinds=added", "d"})->options.optModified, 0);
}

TEST(WatchArguments, MistakesAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {},                               // no folder
        {"a", "b"},                       // two folders
        {""},                             // an empty folder
        {"--kinds", "added,moved", "d"},  // unknown kind
        {"--kinds", "", "d"},             // no kind at all
        {"--kinds=added,", "d"},          // empty word
        {"d", "--kinds"},                 // value missing
        {"--log", "", "d"},               // empty log folder
        {"--gbk", "--json", "d"},         // two forms
        {"--colour", "d"},                // unknown option
        {"--json=yes", "d"},              // a flag with a value
    };
    for (const auto& args : bad) {
        std::string error;
        EXPECT_FALSE(Parse(args, &error)) << ::testing::PrintToString(args);
        EXPECT_FALSE(error.empty()) << ::testing::PrintToString(args);
    }
}

TEST(WatchArguments, HelpAndVersionNeedNoFolder) {
    EXPECT_TRUE(Parse({"--help"})->showHelp);
    EXPECT_TRUE(Parse({"-V"})->showVersion);
    for (const char* code : {"0 ", "1 ", "2 ", "3 ", "4 "}) {
        EXPECT_NE(HelpText().find(std::string("  ") + code), std::string::npos) << code;
    }
    EXPECT_EQ(VersionText().rfind("qzxwatch ", 0), 0u);
}

// Each kind's word in --kinds ticks that kind alone, and the help and the refusal name it.
TEST(WatchArguments, KindsAreTheWordsOfTheKindsTable) {
    std::string refusal;
    EXPECT_FALSE(Parse({"--kinds", "", "d"}, &refusal));
    for (const ChangeKindInfo& info : kChangeKinds) {
        SCOPED_TRACE(info.word);
        const auto a = Parse({"--kinds", info.word, "d"});
        ASSERT_TRUE(a);
        for (const ChangeKindInfo& other : kChangeKinds) {
            EXPECT_EQ(a->options.*other.option, other.kind == info.kind ? 1 : 0) << other.word;
        }
        EXPECT_NE(HelpText().find(info.word), std::string::npos);
        EXPECT_NE(refusal.find(info.word), std::string::npos);
    }
}

TEST(RowFormat, LinesAreTheDailyLogsLines) {
    std::string out;
    const std::vector<EventRow> rows = {Row(7, 1, "/data/a.txt"), Row(8, 2, "/data/名字\t.txt")};
    AppendRows(rows, When(), 0, OutputForm::Utf8Lines, false, Bracketed, out);
    EXPECT_EQ(out,
              "2026-12-07 09:05:03\t7\t新增\t/data/a.txt\n"
              "2026-12-07 09:05:03\t8\t删除\t/data/名字\\t.txt\n");
    out.clear();
    // As the log file holds them: the text through the encoder, the stamp as it is, CR LF.
    AppendRows(rows, When(), 0, OutputForm::GbkLines, false, Bracketed, out);
    EXPECT_EQ(out,
              "2026-12-07 09:05:03\t[7\t新增\t/data/a.txt]\r\n"
              "2026-12-07 09:05:03\t[8\t删除\t/data/名字\\t.txt]\r\n");
}

TEST(RowFormat, JsonCarriesBothPathsOfARename) {
    std::string out;
    EventRow rename = Row(3, 4, "");
    SetRenameDetails(rename, "/d/", "a \"b\".txt", "c\\d.txt");
    // A name that holds the marker itself stays whole.
    EventRow marked = Row(5, 4, "");
    SetRenameDetails(marked, "/d/", "x 命名为 y", "z");
    AppendRows({rename, marked}, When(), 480, OutputForm::Json, false, Bracketed, out);
    EXPECT_EQ(out,
              "{\"id\":3,\"time\":\"2026-12-07T09:05:03+08:00\",\"kind\":\"命名\","
              "\"path\":\"/d/a \\\"b\\\".txt\",\"newPath\":\"/d/c\\\\d.txt\"}\n"
              "{\"id\":5,\"time\":\"2026-12-07T09:05:03+08:00\",\"kind\":\"命名\","
              "\"path\":\"/d/x 命名为 y\",\"newPath\":\"/d/z\"}\n");
    out.clear();
    AppendRows({Row(4, 3, "/d/x")}, When(), -210, OutputForm::Json, false, Bracketed, out);
    EXPECT_EQ(out,
              "{\"id\":4,\"time\":\"2026-12-07T09:05:03-03:30\",\"kind\":\"修改\","
              "\"path\":\"/d/x\"}\n");
}

// The process of a change: JSON keys only for what is known, and with --process a fifth
// field on every line, empty when unknown, made safe like the path.
TEST(RowFormat, ProcessKeysAndFieldOnlyWhereKnown) {
    EventRow full = Row(1, 1, "/d/a");
    full.process = std::make_shared<const ProcessInfo>(ProcessInfo{42, "tab\tname", "/usr/bin/x"});
    EventRow ended = Row(2, 3, "/d/a");
    ended.process = std::make_shared<const ProcessInfo>(ProcessInfo{43, "", ""});
    const EventRow none = Row(3, 2, "/d/a");
    struct Case {
        const EventRow& row;
        const char* json;   // what follows the path
        const char* field;  // the fifth field
    };
    const Case cases[] = {
        {full, ",\"pid\":42,\"process\":\"tab\\tname\",\"exe\":\"/usr/bin/x\"}", "tab\\tname(42)"},
        {ended, ",\"pid\":43}", "43"},
        {none, "}", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row.id);
        std::string out;
        AppendRows({c.row}, When(), 0, OutputForm::Json, false, Bracketed, out);
        EXPECT_EQ(out.substr(out.find("\"path\":\"/d/a\"") + 13), std::string(c.json) + "\n");
        const std::string plain = "2026-12-07 09:05:03\t" + LogText(c.row);
        out.clear();
        AppendRows({c.row}, When(), 0, OutputForm::Utf8Lines, false, Bracketed, out);
        EXPECT_EQ(out, plain + "\n");
        out.clear();
        AppendRows({c.row}, When(), 0, OutputForm::Utf8Lines, true, Bracketed, out);
        EXPECT_EQ(out, plain + "\t" + c.field + "\n");
    }
    ASSERT_TRUE(Parse({"--process", "d"}));
    EXPECT_TRUE(Parse({"--process", "d"})->showProcess);
}

TEST(RowFormat, JsonStringsAreValidUtf8WithControlsEscaped) {
    std::string out;
    AppendJsonString(std::string("a\tb\nc\x01\x7f") + "\xff\xc3" + "é" + "\xed\xa0\x80" + "😀", out);
    EXPECT_EQ(out,
              "\"a\\tb\\nc\\u0001\\u007f\xEF\xBF\xBD\xEF\xBF\xBD"
              "é"
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
              "😀\"");
}

}  // namespace
}  // namespace qzx::cli
