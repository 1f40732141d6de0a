// Measurement files: files written by hand open with every field in place, and what the documents write
// is those same bytes; damaged files keep what was read; a save never destroys the file it replaces.
#include "FileBytes.h"
#include "TestSupport.h"
#include "base/RecordingUiPort.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/LastMeasurement.h"
#include "measurement/MeasurementTexts.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A single measurement of two channels: 150 (heat sink temperature, 16-bit) with two values on the
// right axis, scaled; 4711 (not in the catalogue) with one float value, 0.1. Running, trigger state 2.
FileBytes SingleCommonAndTrigger() {
    FileBytes b;
    b.u16(2);
    b.u16(2).cell(2, 0x0000FFFD).cell(2, 41).channelTail(150, 1, 2.5, -10.0);
    b.u16(1).cell(8, 0x3DCCCCCD).channelTail(4711, 0, 1.0, 0.0);
    b.u8(1);
    b.u32(180).cell(8, 0x40A00000).i32(-16).u32(1).u32(4).u32(2); // trigger, then the state
    return b;
}

// A continuous measurement of three values of mains frequency at an interval of 60 s.
FileBytes Continuous(uint8_t running) {
    FileBytes b;
    b.u16(1).u16(3).cell(8, 0x42480000).cell(8, 0x42490000).cell(8, 0x424A0000);
    b.channelTail(100, 0, 1.0, 0.0).u8(running).u32(60);
    return b;
}

} // namespace

TEST(MeasurementFile, ASingleMeasurementWrittenByHandOpensAndIsWrittenBackAlike) {
    TempFolder dir;
    FileBytes nbts = SingleCommonAndTrigger();
    nbts.start(2024, 5, 17, 9, 3, 59);
    WriteBytes(dir / "a.NBTS", nbts.str()); // the extension in any case

    RecordingUiPort ui;
    CDocMeasurementSingle doc(&Catalogue(), &ui);
    ASSERT_TRUE(doc.OpenMeasurementFile(dir / "a.NBTS"));
    EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "a.NBTS") + "]");
    EXPECT_EQ(Csv(doc), "# kind=single channels=2 running=1 start=2024-05-17T09:03:59 trigger_id=180 "
                        "trigger_type=8 trigger_raw=0x40a00000 delay=-16 mode=1 divider=4 state=2\r\n"
                        "time_ms,150 Heat sink temperature,4711 --\r\n"
                        "2,-3,0.1000000015\r\n"
                        "2.125,41,\r\n");
    EXPECT_EQ(MeasurementTexts::Legend(doc, 0),
              "150 Heat sink temperature [degree Celsius] x2,50 +-10,00 (YRight)");
    EXPECT_TRUE(ui.Boxes().empty());

    ASSERT_TRUE(doc.SaveMeasurementFile(dir / "b.nbts"));
    EXPECT_EQ(ReadBytes(dir / "b.nbts"), nbts.str());
    EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "b.nbts") + "]");
}

TEST(MeasurementFile, OlderFilesOpenWithoutAStartAndAreSavedInTheCurrentFormat) {
    TempFolder dir;
    // .bts: the single measurement ends after the trigger state.
    WriteBytes(dir / "old.bts", SingleCommonAndTrigger().str());
    CDocMeasurementSingle single(&Catalogue(), nullptr);
    ASSERT_TRUE(single.OpenMeasurementFile(dir / "old.bts"));
    EXPECT_FALSE(single.IsWithMeasStart());
    ASSERT_TRUE(single.SaveMeasurementFile(dir / "new.nbts"));
    EXPECT_EQ(ReadBytes(dir / "new.nbts"), SingleCommonAndTrigger().start(0, 0, 0, 0, 0, 0).str());

    // .btc: no start; running byte 2 reads as running.
    WriteBytes(dir / "old.btc", Continuous(2).str());
    CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
    ASSERT_TRUE(continuous.OpenMeasurementFile(dir / "old.btc"));
    EXPECT_EQ(Csv(continuous),
              "# kind=continuous channels=1 running=1 start=0000-00-00T00:00:00 interval=60\r\n"
              "time_s,100 Mains frequency\r\n0,50\r\n60,50.25\r\n120,50.5\r\n");
    ASSERT_TRUE(continuous.SaveMeasurementFile(dir / "new.nbtc"));
    EXPECT_EQ(ReadBytes(dir / "new.nbtc"), Continuous(1).start(0, 0, 0, 0, 0, 0).str());

    // A document without channels: the count 0, the running byte and the kind's part.
    CDocMeasurementContinuous empty(&Catalogue(), nullptr);
    empty.SetWithMeasStart(true);
    EXPECT_EQ(empty.Serialize(), FileBytes().u16(0).u8(0).u32(0).start(0, 0, 0, 0, 0, 0).str());
}

TEST(MeasurementFile, AChannelOf65535ValuesAndMoreTakesTheLongCount) {
    FileBytes b;
    b.u16(1).u16(0xFFFF).u32(70000);
    for (uint32_t k = 0; k < 70000; ++k)
        b.cell(7, k);
    b.channelTail(108, 0, 1.0, 0.0).u8(0).u32(1);
    CDocMeasurementContinuous doc(&Catalogue(), nullptr);
    doc.Deserialize(b.str());
    ASSERT_EQ(doc.GetValueCount(0), 70000u);
    EXPECT_EQ(doc.GetCell(0, 69999), PARAMVALUE(7, 69999));
    EXPECT_EQ(doc.Serialize(), b.str());
}

TEST(MeasurementFile, ADamagedFileEndsTheOpenWithAMessageAndKeepsWhatWasRead) {
    TempFolder dir;
    const std::string whole = SingleCommonAndTrigger().start(2024, 1, 2, 3, 4, 5).str();
    struct Case {
        const char* what;
        std::string bytes;
        size_t valuesOfLast;
        bool triggerRead;
    };
    FileBytes badTag = SingleCommonAndTrigger();
    badTag.u16(0x8001).u16(1).u16(10).text("CMeasStart");
    FileBytes badName = SingleCommonAndTrigger();
    badName.u16(0xFFFF).u16(1).u16(10).text("CMeasStarT").i32(1).i32(1).i32(1).i32(1).i32(1).i32(1);
    const Case cases[] = {
        {"cut inside the second channel's cells", whole.substr(0, 2 + 2 + 16 + 24 + 2 + 4), 0, false},
        {"cut inside the trigger", whole.substr(0, whole.size() - 40 - 4 - 24 + 6), 1, false},
        {"cut inside the start", whole.substr(0, whole.size() - 3), 1, true},
        {"a record tag that is no new class", badTag.str(), 1, true},
        {"a record of another class", badName.str(), 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteBytes(dir / "bad.nbts", c.bytes);
        RecordingUiPort ui;
        CDocMeasurementSingle doc(&Catalogue(), &ui);
        doc.InitMeasurement(CTrigger(), {1, 2, 3}, CMeasStart(1, 1, 1, 1, 1, 1));
        EXPECT_FALSE(doc.OpenMeasurementFile(dir / "bad.nbts"));
        EXPECT_EQ(ui.Boxes().size(), 1u);
        EXPECT_EQ(doc.GetTitle(), "Single measurement - [" + (dir / "bad.nbts") + "]");
        ASSERT_EQ(doc.GetChannelCount(), 2);
        EXPECT_EQ(doc.GetValueCount(0), 2u);
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

TEST(MeasurementFile, WhatCannotBeOpenedOrWrittenChangesNothing) {
    TempFolder dir;
    RecordingUiPort ui;
    CDocMeasurementSingle doc(&Catalogue(), &ui);
    doc.OnNewDocument();
    doc.InitMeasurement(CTrigger(), {150}, CMeasStart());
    doc.AddValue(0, PARAMVALUE(2, 7));
    const std::string title = doc.GetTitle();
    // A file of the current format under the older extension, or of the other kind: read as this one, its
    // numbers look plausible, but bytes go on where the format ends.
    WriteBytes(dir / "current.bts", SingleCommonAndTrigger().start(2024, 1, 2, 3, 4, 5).str());
    WriteBytes(dir / "continuous.bts", FileBytes().u16(0).u8(0).u32(180).start(2026, 1, 1, 0, 0, 0).str());
    WriteBytes(dir / "locked.nbts", "previous");
    fs::permissions(dir / "locked.nbts", fs::perms::owner_read);

    // Reading: a missing file, a folder, and the foreign ones.
    for (const std::string& path :
         {dir / "missing.nbts", dir.path, dir / "current.bts", dir / "continuous.bts"})
        EXPECT_FALSE(doc.OpenMeasurementFile(path)) << path;
    // Writing: a missing folder, a folder, a file without write permission (which root may write).
    const bool root = ::geteuid() == 0;
    for (const std::string& path : {dir / "no/such.nbts", dir.path, dir / (root ? "no/such" : "locked.nbts")})
        EXPECT_FALSE(doc.SaveMeasurementFile(path)) << path;
    EXPECT_EQ(ReadBytes(dir / "locked.nbts"), "previous");
    EXPECT_EQ(doc.GetValueCount(0), 1u);
    EXPECT_EQ(doc.GetTrigger().GetDivider(), 1u);
    EXPECT_EQ(doc.GetTitle(), title);
    EXPECT_FALSE(doc.IsWithMeasStart());
    std::vector<std::string> texts;
    for (const auto& box : ui.Boxes())
        texts.push_back(box.text);
    const std::string cannot = "The specified file cannot be opened.";
    const std::string foreign =
        "The file does not end where a measurement file of this kind ends. Nothing was read.";
    EXPECT_EQ(texts, (std::vector<std::string>{cannot, cannot, foreign, foreign, cannot, cannot, cannot}));
    EXPECT_EQ(dir.Entries(), 3); // no leftovers
}

// The bytes go to a temporary file that only a complete, flushed save renames: a save that fails
// halfway (or is killed) leaves the file it was to replace as it was.
TEST(MeasurementFile, ASaveThatFailsHalfwayLeavesThePreviousFileWhole) {
    TempFolder dir;
    const std::string path = dir / "last.nbtc";
    WriteBytes(path, "the measurement of yesterday");

    // The file system refuses to grow any file past 64 KiB, as a full disk would.
    RecordingUiPort ui;
    CDocMeasurementContinuous doc(&Catalogue(), &ui);
    doc.OnNewDocument();
    doc.InitMeasurement(1, {100}, CMeasStart());
    for (uint32_t k = 0; k < 200000; ++k)
        doc.AddValue(0, PARAMVALUE(8, k));
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved = doc.SaveMeasurementFile(path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadBytes(path), "the measurement of yesterday");
    ASSERT_EQ(ui.Boxes().size(), 1u);
    EXPECT_EQ(ui.Boxes()[0].text,
              "The measurement could not be written completely. The file was left as it was.");
    EXPECT_EQ(doc.GetTitle(), "Continuous measurement");
    EXPECT_EQ(dir.Entries(), 1);
}

TEST(MeasurementFile, TheLastMeasurementsTravelBetweenRuns) {
    TempFolder dir;
    {
        CDocMeasurementSingle single(&Catalogue(), nullptr);
        CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
        // A folder without the files: nothing happens.
        EXPECT_EQ(ExchangeLastMeasurement(single, dir.path, false), MeasurementFileResult::kCannotOpen);
        EXPECT_EQ(single.GetTitle(), "");
        single.InitMeasurement(CTrigger(), {150}, CMeasStart(2024, 2, 29, 23, 59, 59));
        single.AddValue(0, PARAMVALUE(2, 5));
        continuous.InitMeasurement(5, {100, 110}, CMeasStart(-1, -1, -1, -1, -1, -1));
        continuous.SetRunning(true);
        EXPECT_EQ(ExchangeLastMeasurement(single, dir.path, true), MeasurementFileResult::kOk);
        EXPECT_EQ(ExchangeLastMeasurement(continuous, dir.path, true), MeasurementFileResult::kOk);
        EXPECT_EQ(continuous.GetTitle(), "Continuous measurement - [last.nbtc] ");
    }
    CDocMeasurementSingle single(&Catalogue(), nullptr);
    CDocMeasurementContinuous continuous(&Catalogue(), nullptr);
    EXPECT_EQ(ExchangeLastMeasurement(single, dir.path, false), MeasurementFileResult::kOk);
    EXPECT_EQ(ExchangeLastMeasurement(continuous, dir.path, false), MeasurementFileResult::kOk);
    EXPECT_EQ(Csv(single), "# kind=single channels=1 running=0 start=2024-02-29T23:59:59 trigger_id=0 "
                           "trigger_type=8 trigger_raw=0x00000000 delay=0 mode=0 divider=1 state=0\r\n"
                           "time_ms,150 Heat sink temperature\r\n0,5\r\n");
    // The running flag as it stood (the program clears it after loading); an invalid start as it was.
    EXPECT_EQ(Csv(continuous),
              "# kind=continuous channels=2 running=1 start=-001--1--1T-1:-1:-1 interval=5\r\n"
              "time_s,100 Mains frequency,110 Mains voltage L1\r\n");
    EXPECT_EQ(single.GetTitle(), "Single measurement - [last.nbts] ");

    // A damaged file leaves the document empty and is kept aside, so that the next store cannot destroy it.
    const std::string bytes = ReadBytes(dir / "last.nbts");
    WriteBytes(dir / "last.nbts", bytes.substr(0, bytes.size() - 5));
    CDocMeasurementSingle damaged(&Catalogue(), nullptr);
    EXPECT_EQ(ExchangeLastMeasurement(damaged, dir.path, false), MeasurementFileResult::kDamaged);
    EXPECT_EQ(damaged.GetChannelCount(), 0);
    EXPECT_EQ(damaged.GetTitle(), "");
    EXPECT_FALSE(fs::exists(dir / "last.nbts"));
    EXPECT_EQ(ReadBytes(dir / "last-damaged.nbts"), bytes.substr(0, bytes.size() - 5));
}
