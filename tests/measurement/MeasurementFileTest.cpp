// Measurement files: files written by hand open with every field in place, and what the documents write
// is those same bytes; damaged files keep what was read; a save never destroys the file it replaces.
#include "FileBytes.h"
#include "TestCatalogue.h"
#include "base/FileUtil.h"
#include "base/RecordingUiPort.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/LastMeasurement.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace fs = std::filesystem;

namespace {

class Folder {
public:
    Folder() {
        char dir[] = "/tmp/quirel-meas-XXXXXX";
        m_path = ::mkdtemp(dir);
    }
    ~Folder() { fs::remove_all(m_path); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    return quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes).value_or(std::string());
}

// A single measurement of two channels: 150 (heat sink temperature, 16-bit) with two values on the
// right axis, scaled; 4711 (not in the catalogue) with one float value. Running, trigger state 2.
FileBytes SingleCommonAndTrigger() {
    FileBytes b;
    b.u16(2);
    b.u16(2).cell(2, 0x0000FFFD).cell(2, 41).channelTail(150, 1, 2.5, -10.0);
    b.u16(1).cell(8, 0x3FC00000).channelTail(4711, 0, 1.0, 0.0);
    b.u8(1);
    b.u32(180).cell(8, 0x40A00000).i32(-16).u32(1).u32(4).u32(2); // trigger, then the state
    return b;
}

} // namespace

TEST(MeasurementFile, ASingleMeasurementWrittenByHandOpensAndIsWrittenBackAlike) {
    Folder dir;
    FileBytes nbts = SingleCommonAndTrigger();
    nbts.start(2024, 5, 17, 9, 3, 59);
    WriteBytes(dir / "a.NBTS", nbts.str()); // the extension in any case

    RecordingUiPort ui;
    CDocMeasurementSingle doc(&Catalogue(), &ui);
    ASSERT_TRUE(doc.OpenMeasurementFile(dir / "a.NBTS"));
    EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "a.NBTS") + "]");
    EXPECT_TRUE(doc.IsWithMeasStart());
    ASSERT_EQ(doc.GetChannelCount(), 2);
    EXPECT_EQ(doc.GetParameterId(0), 150u);
    EXPECT_EQ(doc.GetChannelName(0), "Heat sink temperature");
    EXPECT_EQ(doc.GetChannelName(1), " -- ");
    EXPECT_EQ(doc.GetChannelTitle(1), "4711 --");
    EXPECT_EQ(doc.GetValue(0, 0), -3.0);
    EXPECT_EQ(doc.GetValue(1, 0), 1.5);
    EXPECT_EQ(doc.GetAxis(0), 1u);
    EXPECT_EQ(doc.GetFactor(0), 2.5);
    EXPECT_EQ(doc.GetOffset(0), -10.0);
    EXPECT_TRUE(doc.IsRunning());
    EXPECT_EQ(doc.GetTriggerState(), 2u);
    const CTrigger t = doc.GetTrigger();
    EXPECT_EQ(t.GetParameterId(), 180u);
    EXPECT_EQ(t.GetLevel().GetValue(), PARAMVALUE(8, 0x40A00000));
    EXPECT_EQ(t.GetDelay(), -16);
    EXPECT_EQ(t.GetMode(), 1u);
    EXPECT_EQ(t.GetDivider(), 4u);
    EXPECT_EQ(doc.GetMeasStart(), CMeasStart(2024, 5, 17, 9, 3, 59));
    EXPECT_TRUE(ui.Boxes().empty());

    ASSERT_TRUE(doc.SaveMeasurementFile(dir / "b.nbts"));
    EXPECT_EQ(ReadBytes(dir / "b.nbts"), nbts.str());
    EXPECT_EQ(doc.Serialize(), nbts.str());
    EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "b.nbts") + "]");
}

TEST(MeasurementFile, OlderFilesOpenWithoutAStartAndAreSavedInTheCurrentFormat) {
    Folder dir;
    // .bts: the single measurement ends after the trigger state.
    const FileBytes bts = SingleCommonAndTrigger();
    WriteBytes(dir / "old.bts", bts.str());
    CDocMeasurementSingle single(&Catalogue(), nullptr);
    ASSERT_TRUE(single.OpenMeasurementFile(dir / "old.bts"));
    EXPECT_FALSE(single.IsWithMeasStart());
    EXPECT_EQ(single.GetMeasStart(), CMeasStart());
    EXPECT_EQ(single.GetTrigger().GetParameterId(), 180u);
    ASSERT_TRUE(single.SaveMeasurementFile(dir / "new.nbts"));
    EXPECT_EQ(ReadBytes(dir / "new.nbts"), FileBytes(bts).start(0, 0, 0, 0, 0, 0).str());

    // .btc: interval 60, no start; running byte 2 reads as running.
    FileBytes btc;
    btc.u16(1)
        .u16(3)
        .cell(8, 0x42480000)
        .cell(8, 0x42490000)
        .cell(8, 0x424A0000)
        .channelTail(100, 0, 1.0, 0.0);
    btc.u8(2).u32(60);
    WriteBytes(dir / "old.btc", btc.str());
    CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
    ASSERT_TRUE(continuous.OpenMeasurementFile(dir / "old.btc"));
    EXPECT_TRUE(continuous.IsRunning());
    EXPECT_EQ(continuous.GetInterval(), 60u);
    EXPECT_EQ(continuous.GetValue(0, 2), 50.5);
    EXPECT_EQ(continuous.GetX(2), 120.0);
    ASSERT_TRUE(continuous.SaveMeasurementFile(dir / "new.nbtc"));
    FileBytes nbtc;
    nbtc.u16(1)
        .u16(3)
        .cell(8, 0x42480000)
        .cell(8, 0x42490000)
        .cell(8, 0x424A0000)
        .channelTail(100, 0, 1.0, 0.0);
    nbtc.u8(1).u32(60).start(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(ReadBytes(dir / "new.nbtc"), nbtc.str());

    // A document without channels: the count 0, the running byte and the kind's part.
    CDocMeasurementContinuous empty(&Catalogue(), nullptr);
    empty.SetWithMeasStart(true);
    EXPECT_EQ(empty.Serialize(), FileBytes().u16(0).u8(0).u32(0).start(0, 0, 0, 0, 0, 0).str());
}

TEST(MeasurementFile, CountsOf65535AndMoreTakeTheLongForm) {
    for (uint32_t count : {65534u, 65535u, 70000u}) {
        FileBytes b;
        b.u16(1);
        if (count < 0xFFFF)
            b.u16(static_cast<uint16_t>(count));
        else
            b.u16(0xFFFF).u32(count);
        for (uint32_t k = 0; k < count; ++k)
            b.cell(7, k);
        b.channelTail(108, 0, 1.0, 0.0).u8(0).u32(1);
        CDocMeasurementContinuous doc(&Catalogue(), nullptr);
        doc.Deserialize(b.str());
        ASSERT_EQ(doc.GetValueCount(0), count);
        EXPECT_EQ(doc.GetCell(0, count - 1), PARAMVALUE(7, count - 1));
        EXPECT_EQ(doc.Serialize(), b.str()) << count;
    }
}

TEST(MeasurementFile, ADamagedFileEndsTheOpenWithAMessageAndKeepsWhatWasRead) {
    Folder dir;
    const FileBytes whole = FileBytes(SingleCommonAndTrigger()).start(2024, 1, 2, 3, 4, 5);
    struct Case {
        const char* what;
        std::string bytes;
        int channels;
        size_t valuesOfLast;
        bool triggerRead;
    };
    FileBytes badTag = SingleCommonAndTrigger();
    badTag.u16(0x8001).u16(1).u16(10).text("CMeasStart");
    FileBytes badName = SingleCommonAndTrigger();
    badName.u16(0xFFFF).u16(1).u16(10).text("CMeasStarT").i32(1).i32(1).i32(1).i32(1).i32(1).i32(1);
    const Case cases[] = {
        {"cut inside the second channel's cells", whole.str().substr(0, 2 + 2 + 16 + 24 + 2 + 4), 2, 0,
         false},
        {"cut inside the trigger", whole.str().substr(0, whole.size() - 40 - 4 - 24 + 6), 2, 1, false},
        {"cut inside the start", whole.str().substr(0, whole.size() - 3), 2, 1, true},
        {"a record tag that is no new class", badTag.str(), 2, 1, true},
        {"a record of another class", badName.str(), 2, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(dir / "bad.nbts", c.bytes);
        RecordingUiPort ui;
        CDocMeasurementSingle doc(&Catalogue(), &ui);
        doc.InitMeasurement(CTrigger(), {1, 2, 3}, CMeasStart(1, 1, 1, 1, 1, 1));
        EXPECT_FALSE(doc.OpenMeasurementFile(dir / "bad.nbts"));
        ASSERT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(ui.Boxes()[0].icon, MbIcon::Error);
        EXPECT_EQ(ui.Boxes()[0].caption, "");
        EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "bad.nbts") + "]");
        ASSERT_EQ(doc.GetChannelCount(), c.channels);
        EXPECT_EQ(doc.GetValueCount(0), 2u);
        EXPECT_EQ(doc.GetParameterId(0), 150u);
        EXPECT_EQ(doc.GetValueCount(1), c.valuesOfLast);
        EXPECT_EQ(doc.GetTrigger().GetParameterId(), c.triggerRead ? 180u : 0u);
        EXPECT_EQ(doc.GetMeasStart(), CMeasStart()); // the start is read whole or not at all
    }

    // Another schema: nothing more is read, the start stays zero, and the file counts as read.
    FileBytes schema2 = SingleCommonAndTrigger();
    schema2.u16(0xFFFF).u16(2).u16(10).text("CMeasStart");
    CDocMeasurementSingle doc(&Catalogue(), nullptr);
    doc.SetWithMeasStart(true);
    doc.Deserialize(schema2.str());
    EXPECT_EQ(doc.GetMeasStart(), CMeasStart());
    EXPECT_EQ(doc.GetChannelCount(), 2);
}

TEST(MeasurementFile, WhatCannotBeOpenedChangesNothing) {
    Folder dir;
    RecordingUiPort ui;
    CDocMeasurementSingle doc(&Catalogue(), &ui);
    doc.OnNewDocument();
    doc.InitMeasurement(CTrigger(), {150}, CMeasStart());
    doc.AddValue(0, PARAMVALUE(2, 7));
    const std::string title = doc.GetTitle();

    // Reading: a missing file, a folder.
    for (const std::string& path : {dir / "missing.nbts", dir.path()}) {
        EXPECT_FALSE(doc.OpenMeasurementFile(path));
        EXPECT_EQ(doc.GetValueCount(0), 1u);
    }
    // Writing: a missing folder, a folder, a file without write permission (unless we are root).
    WriteBytes(dir / "locked.nbts", "previous");
    fs::permissions(dir / "locked.nbts", fs::perms::owner_read);
    const bool root = ::geteuid() == 0;
    for (const std::string& path : {dir / "no/such.nbts", dir.path(), dir / "locked.nbts"}) {
        if (root && path == dir / "locked.nbts")
            continue;
        EXPECT_FALSE(doc.SaveMeasurementFile(path)) << path;
        EXPECT_EQ(ReadBytes(dir / "locked.nbts"), "previous");
    }
    EXPECT_EQ(doc.GetTitle(), title);
    EXPECT_FALSE(doc.IsWithMeasStart());
    for (const auto& box : ui.Boxes()) {
        EXPECT_EQ(box.text, "The specified file cannot be opened.");
        EXPECT_EQ(box.caption, "");
        EXPECT_EQ(box.icon, MbIcon::Error);
    }
    EXPECT_EQ(ui.Boxes().size(), root ? 4u : 5u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1); // no leftovers

    // A file of the current format under the older extension, or of the other kind: read as this one,
    // its numbers look plausible, but bytes go on where the format ends.
    ui.Clear();
    const std::pair<const char*, FileBytes> foreign[] = {
        {"current.bts", FileBytes(SingleCommonAndTrigger()).start(2024, 1, 2, 3, 4, 5)},
        {"continuous.bts", FileBytes().u16(0).u8(0).u32(180).start(2026, 1, 1, 0, 0, 0)}};
    for (const auto& [name, bytes] : foreign) {
        WriteBytes(dir / name, bytes.str());
        EXPECT_FALSE(doc.OpenMeasurementFile(dir / name)) << name;
        EXPECT_EQ(doc.GetValueCount(0), 1u);
        EXPECT_EQ(doc.GetTrigger().GetDivider(), 1u);
    }
    EXPECT_EQ(doc.GetTitle(), title);
    ASSERT_EQ(ui.Boxes().size(), 2u);
    EXPECT_EQ(ui.Boxes()[1].text,
              "The file does not end where a measurement file of this kind ends. Nothing was read.");
}

TEST(MeasurementFile, ASaveThatFailsHalfwayLeavesThePreviousFileWhole) {
    Folder dir;
    RecordingUiPort ui;
    CDocMeasurementContinuous doc(&Catalogue(), &ui);
    doc.OnNewDocument();
    doc.InitMeasurement(1, {100}, CMeasStart());
    for (uint32_t k = 0; k < 200000; ++k)
        doc.AddValue(0, PARAMVALUE(8, k));
    WriteBytes(dir / "keep.nbtc", "the measurement of yesterday");

    // The file system refuses to grow any file past 64 KiB, as a full disk would.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = doc.SaveMeasurementFile(dir / "keep.nbtc");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(dir / "keep.nbtc"), "the measurement of yesterday");
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text,
              "The measurement could not be written completely. The file was left as it was.");
    EXPECT_EQ(doc.GetTitle(), "Continuous measurement");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(MeasurementFile, TheLastMeasurementsTravelBetweenRuns) {
    Folder dir;
    {
        CDocMeasurementSingle single(&Catalogue(), nullptr);
        CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
        // A folder without the files: nothing happens.
        EXPECT_EQ(ExchangeLastMeasurement(single, dir.path(), false), MeasurementFileResult::kCannotOpen);
        EXPECT_EQ(single.GetTitle(), "");
        single.InitMeasurement(CTrigger(), {150}, CMeasStart(2024, 2, 29, 23, 59, 59));
        single.AddValue(0, PARAMVALUE(2, 5));
        continuous.InitMeasurement(5, {100, 110}, CMeasStart(-1, -1, -1, -1, -1, -1));
        continuous.SetRunning(true);
        EXPECT_EQ(ExchangeLastMeasurement(single, dir.path(), true), MeasurementFileResult::kOk);
        EXPECT_EQ(ExchangeLastMeasurement(continuous, dir.path(), true), MeasurementFileResult::kOk);
        EXPECT_EQ(single.GetTitle(), "Single measurement - [last.nbts] ");
        EXPECT_EQ(continuous.GetTitle(), "Continuous measurement - [last.nbtc] ");
    }
    CDocMeasurementSingle single(&Catalogue(), nullptr);
    CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
    EXPECT_EQ(ExchangeLastMeasurement(single, dir.path(), false), MeasurementFileResult::kOk);
    EXPECT_EQ(ExchangeLastMeasurement(continuous, dir.path(), false), MeasurementFileResult::kOk);
    EXPECT_EQ(single.GetValue(0, 0), 5.0);
    EXPECT_EQ(single.GetMeasStart(), CMeasStart(2024, 2, 29, 23, 59, 59));
    EXPECT_EQ(continuous.GetMeasStart(), CMeasStart(-1, -1, -1, -1, -1, -1));
    EXPECT_TRUE(continuous.IsRunning()); // stored as it stood; the program clears it after loading
    EXPECT_EQ(continuous.GetChannelCount(), 2);
    EXPECT_EQ(single.GetTitle(), "Single measurement - [last.nbts] ");

    // A damaged file leaves the document empty and is kept aside, so that the next store cannot destroy it.
    const std::string bytes = ReadBytes(dir / "last.nbts");
    WriteBytes(dir / "last.nbts", bytes.substr(0, bytes.size() - 5));
    CDocMeasurementSingle damaged(&Catalogue(), nullptr);
    EXPECT_EQ(ExchangeLastMeasurement(damaged, dir.path(), false), MeasurementFileResult::kDamaged);
    EXPECT_EQ(damaged.GetChannelCount(), 0);
    EXPECT_EQ(damaged.GetTitle(), "");
    EXPECT_FALSE(fs::exists(dir / "last.nbts"));
    EXPECT_EQ(ReadBytes(dir / "last-damaged.nbts"), bytes.substr(0, bytes.size() - 5));
}
