// A save cut off by SIGKILL (the OOM killer, kill -9, a crash of the program) at any moment leaves the file
// it was replacing as it was: the bytes go to a temporary file that only a complete, flushed save renames.
#include "base/FileUtil.h"
#include "measurement/DocMeasurementContinuous.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
    return quirel::readWholeFile(path, quirel::kMaxMeasurementFileBytes).value_or(std::string());
}

// Saves a recording of `values` values per channel to `path`.
MeasurementFileResult SaveRecording(uint32_t values, const std::string& path) {
    CDocMeasurementContinuous doc(nullptr, nullptr);
    doc.InitMeasurement(1, {100, 110, 120, 130, 140, 150, 160, 170, 180, 190},
                        CMeasStart(2026, 12, 7, 1, 2, 3));
    for (uint32_t j = 0; j < values; ++j)
        for (int c = 0; c < 10; ++c)
            doc.AddValue(c, PARAMVALUE(8, j));
    return doc.WriteFile(path, true);
}

// A temporary file of the save, once it holds something.
bool SaveUnderWay(const fs::path& dir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.path().filename().string().rfind("last.nbtc.tmp", 0) == 0 && entry.file_size(ec) > 0)
            return true;
    return false;
}

} // namespace

TEST(MeasurementFile, ASaveKilledHalfwayLeavesTheOldFileIntact) {
    const fs::path dir = fs::temp_directory_path() / ("quirel-kill-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path target = dir / "last.nbtc";
    ASSERT_EQ(SaveRecording(3, target.string()), MeasurementFileResult::kOk);
    const std::string before = ReadBytes(target);

    const pid_t child = ::fork();
    if (child == 0) {
        // 10 channels x 1 000 000 values: 80 MB, long enough (with the flush) to be caught writing.
        SaveRecording(1000000, target.string());
        ::_exit(0);
    }
    bool caught = false;
    for (int spin = 0; spin < 60000000 && !caught; ++spin) {
        caught = SaveUnderWay(dir);
        int status;
        if (!caught && ::waitpid(child, &status, WNOHANG) == child)
            break; // the save finished before it could be caught: the test says so below
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_TRUE(caught) << "the save was never seen under way";

    EXPECT_EQ(ReadBytes(target), before);
    CDocMeasurementContinuous back(nullptr, nullptr);
    EXPECT_EQ(back.ReadFile(target.string(), true), MeasurementFileResult::kOk);
    EXPECT_EQ(back.GetValueCount(9), 3u);
    fs::remove_all(dir);
}
