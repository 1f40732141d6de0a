// The line splitter and the text file: what the list shows for a log, and what Save and Open do with it.

#include "base/FileUtil.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogFile.h"
#include "eventlog/EventLogRows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

EventLogRow Row(EventKind kind, std::string date, std::string time, std::string description,
                std::string hours) {
    return {kind,
            EventKindText(kind),
            std::move(date),
            std::move(time),
            std::move(description),
            std::move(hours)};
}

struct TempDir {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("quirel-eventlog-" + std::to_string(::getpid()) + "-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    TempDir() { std::filesystem::create_directories(path); }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const char* name) const { return (path / name).string(); }
};

} // namespace

TEST(EventLogRows, LinesBecomeRows) {
    struct Case {
        const char* line;
        std::vector<EventLogRow> rows;
    };
    const Case cases[] = {
        {"01.12.2026 07:13:02 Overcurrent phase L1;23816;Error",
         {Row(EventKind::Error, "01.12.2026", "07:13:02", "Overcurrent phase L1", "23816")}},
        {"01.12.2026 07:13:02 Filter started;23816;Status",
         {Row(EventKind::Status, "01.12.2026", "07:13:02", "Filter started", "23816")}},
        {"01.12.2026 07:13:02 Self test passed;23816;Info",
         {Row(EventKind::Info, "01.12.2026", "07:13:02", "Self test passed", "23816")}},
        // The marker must follow the first character.
        {";Error at the very start", {Row(EventKind::Info, ";Error", "at", "the very start", "")}},
        {"x;Error", {Row(EventKind::Error, "x;Error", "", "", "")}},
        // Error is looked for before Status.
        {"d t s;1;Status;Error", {Row(EventKind::Error, "d", "t", "s", "1")}},
        // Only date and time end at blanks; each field skips leading delimiters of its own kind.
        {"  d1   t1  two  blanks;;7;Info", {Row(EventKind::Info, "d1", "t1", " two  blanks", "7")}},
        {"12345", {}},
        {"123456", {Row(EventKind::Info, "123456", "", "", "")}},
        {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6", {}}, // five characters in ten bytes
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitEventLogLines(c.line), c.rows) << c.line;

    // Rows are counted by the lines shown; empty lines and short ones are skipped.
    const auto rows = SplitEventLogLines("a b c;1;Info\n\n\nabc\nd e f;2;Error\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].description, "f");
}

// Nothing read yet shows nothing; a log read without events shows one row that says so.
TEST(EventLogRows, AnEmptyLogShowsOneRow) {
    CDocErrorMemory doc;
    doc.OnNewDocument();
    EXPECT_EQ(doc.GetTitle(), "Eventlog - Quirel Viewer Velorin");
    EXPECT_TRUE(EventLogRowsOf(doc).empty());
    doc.TakeLog("");
    std::vector<EventLogRow> rows = EventLogRowsOf(doc);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kind, EventKind::Info);
    EXPECT_EQ(rows[0].kindText, "");
    EXPECT_EQ(rows[0].description, "No entries available.");
    doc.AddEntry("1.1.2026 10:00:00 x;5;Error\n");
    rows = EventLogRowsOf(doc);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].kindText, "Error");
}

TEST(EventLogFile, SaveWritesWindows1252WithCrLf) {
    TempDir dir;
    CDocErrorMemory doc;
    EXPECT_EQ(EventLogFile::Save(dir.File("none.txt"), doc), EventLogFile::Result::NothingToSave);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));

    doc.AddEntry("01.12.2026 07:13:02 L\xC3\xBC"
                 "fter \xE2\x82\xAC;1;Error\nb c d;2;Info");
    ASSERT_EQ(EventLogFile::Save(dir.File("log.txt"), doc), EventLogFile::Result::Ok);
    EXPECT_EQ(*quirel::readWholeFile(dir.File("log.txt"), quirel::kMaxMeasurementFileBytes),
              "01.12.2026 07:13:02 L\xFC"
              "fter \x80;1;Error\r\nb c d;2;Info\r\n");
    EXPECT_EQ(EventLogFile::Save(dir.File("missing/log.txt"), doc), EventLogFile::Result::CannotCreate);

    // Opened again it shows the same rows, and saved again the same bytes.
    std::string text;
    ASSERT_EQ(EventLogFile::Open(dir.File("log.txt"), text), EventLogFile::Result::Ok);
    CDocErrorMemory reopened;
    reopened.AddEntry(text);
    EXPECT_EQ(EventLogRowsOf(reopened), EventLogRowsOf(doc));
    ASSERT_EQ(EventLogFile::Save(dir.File("again.txt"), reopened), EventLogFile::Result::Ok);
    EXPECT_EQ(*quirel::readWholeFile(dir.File("again.txt"), quirel::kMaxMeasurementFileBytes),
              "01.12.2026 07:13:02 L\xFC"
              "fter \x80;1;Error\r\nb c d;2;Info\r\n\r\n");
}

TEST(EventLogFile, OpenRefusesWhatIsNoLog) {
    TempDir dir;
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir.File(name), std::ios::binary) << bytes;
        return dir.File(name);
    };
    std::string text = "kept";
    EXPECT_EQ(EventLogFile::Open(dir.File("absent.txt"), text), EventLogFile::Result::CannotOpen);
    EXPECT_EQ(EventLogFile::Open(write("late.txt", std::string(76, 'x') + ";Info\n"), text),
              EventLogFile::Result::NoMarker); // the marker ends after character 80
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(EventLogFile::Open(write("edge.txt", std::string(75, 'x') + ";Info\n"), text),
              EventLogFile::Result::Ok);

    // A full log of 200 000 bytes comes back whole, although Save added a carriage return per line.
    std::string big;
    for (int i = 0; big.size() < EventLogFile::kMaxOpenBytes - 40; ++i)
        big += "01.12.2026 07:13:02 Event " + std::to_string(i) + ";1;Status\n";
    CDocErrorMemory doc;
    doc.AddEntry(big);
    ASSERT_EQ(EventLogFile::Save(dir.File("big.txt"), doc), EventLogFile::Result::Ok);
    ASSERT_EQ(EventLogFile::Open(dir.File("big.txt"), text), EventLogFile::Result::Ok);
    EXPECT_EQ(text, big + "\n");
}
