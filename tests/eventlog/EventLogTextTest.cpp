// The line splitter and the text file: what the list shows for a log, and what Save and Open do with it.

#include "TempFolder.h"
#include "base/FileUtil.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogFile.h"
#include "eventlog/EventLogRows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

TEST(EventLogRows, LinesBecomeRows) {
    const struct {
        const char* line;
        EventKind kind;
        std::vector<std::string> fields; // date, time, description, hours; none when the line makes no row
    } cases[] = {
        {"01.12.2026 07:13:02 Trip;238;Error", EventKind::Error, {"01.12.2026", "07:13:02", "Trip", "238"}},
        {"01.12.2026 07:13:02 Run;238;Status", EventKind::Status, {"01.12.2026", "07:13:02", "Run", "238"}},
        {"1.1.2026 07:13:02 Self test;3;Info", EventKind::Info, {"1.1.2026", "07:13:02", "Self test", "3"}},
        // The marker must follow the first character.
        {";Error at the very start", EventKind::Info, {";Error", "at", "the very start", ""}},
        {"x;Error", EventKind::Error, {"x;Error", "", "", ""}},
        {"d t s;1;Status;Error", EventKind::Error, {"d", "t", "s", "1"}}, // Error is looked for before Status
        // Only date and time end at blanks; each field skips leading delimiters of its own kind.
        {"  d1   t1  two  blanks;;7;Info", EventKind::Info, {"d1", "t1", " two  blanks", "7"}},
        {"12345", EventKind::Info, {}},
        {"123456", EventKind::Info, {"123456", "", "", ""}},
        {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6", EventKind::Info, {}}, // five characters in ten bytes
    };
    for (const auto& c : cases) {
        const auto rows = SplitEventLogLines(c.line);
        ASSERT_EQ(rows.size(), c.fields.empty() ? 0u : 1u) << c.line;
        for (const EventLogRow& row : rows)
            EXPECT_EQ(row, (EventLogRow{c.kind, EventKindText(c.kind), c.fields[0], c.fields[1], c.fields[2],
                                        c.fields[3]}))
                << c.line;
    }
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
    EXPECT_EQ(EventLogRowsOf(doc),
              (std::vector<EventLogRow>{{EventKind::Info, "", "", "", "No entries available.", ""}}));
    doc.AddEntry("1.1.2026 10:00:00 x;5;Error\n"); // the first event replaces that row
    EXPECT_EQ(EventLogRowsOf(doc),
              (std::vector<EventLogRow>{{EventKind::Error, "Error", "1.1.2026", "10:00:00", "x", "5"}}));
}

TEST(EventLogFile, SaveWritesWindows1252WithCrLf) {
    TempFolder dir;
    CDocErrorMemory doc;
    EXPECT_EQ(EventLogFile::Save(dir.File("none.txt"), doc), EventLogFile::Result::NothingToSave);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.txt")));
    doc.AddEntry("01.12.2026 07:13:02 L\xC3\xBC"
                 "fter \xE2\x82\xAC;1;Error\nb c d;2;Info");
    ASSERT_EQ(EventLogFile::Save(dir.File("log.txt"), doc), EventLogFile::Result::Ok);
    const std::string saved = "01.12.2026 07:13:02 L\xFC"
                              "fter \x80;1;Error\r\nb c d;2;Info\r\n";
    EXPECT_EQ(*quirel::readWholeFile(dir.File("log.txt"), quirel::kMaxMeasurementFileBytes), saved);
    EXPECT_EQ(EventLogFile::Save(dir.File("missing/log.txt"), doc), EventLogFile::Result::CannotCreate);

    // Opened again it shows the same rows, and saved again the same bytes.
    std::string text;
    ASSERT_EQ(EventLogFile::Open(dir.File("log.txt"), text), EventLogFile::Result::Ok);
    CDocErrorMemory reopened;
    reopened.AddEntry(text);
    EXPECT_EQ(EventLogRowsOf(reopened), EventLogRowsOf(doc));
    ASSERT_EQ(EventLogFile::Save(dir.File("again.txt"), reopened), EventLogFile::Result::Ok);
    EXPECT_EQ(*quirel::readWholeFile(dir.File("again.txt"), quirel::kMaxMeasurementFileBytes),
              saved + "\r\n");
}

// What is no log is refused; a full log of 200 000 bytes comes back whole, although Save added a carriage
// return per line.
TEST(EventLogFile, OpenRefusesWhatIsNoLogAndTakesAFullOne) {
    TempFolder dir;
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
    std::string big;
    for (int i = 0; big.size() < EventLogFile::kMaxOpenBytes - 40; ++i)
        big += "01.12.2026 07:13:02 Event " + std::to_string(i) + ";1;Status\n";
    CDocErrorMemory doc;
    doc.AddEntry(big);
    ASSERT_EQ(EventLogFile::Save(dir.File("big.txt"), doc), EventLogFile::Result::Ok);
    ASSERT_EQ(EventLogFile::Open(dir.File("big.txt"), text), EventLogFile::Result::Ok);
    EXPECT_EQ(text, big + "\n");
}
