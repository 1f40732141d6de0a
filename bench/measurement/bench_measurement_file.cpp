// Saving and loading a continuous measurement of 10 channels x 1 000 000 values, against copying a file
// of the same size. A save is crash-safe (temporary file, flushed to the disk, renamed), so the copy is
// made the same way: the saved file read in 1 MiB pieces and written through the same writer. The ratio
// shows what the measurement format itself costs: the slower of save and load throughput over the
// copy's. A line before it gives the plain copy (no flush to the disk) for comparison.
#include "base/FileUtil.h"
#include "measurement/DocMeasurementContinuous.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChannels = 10;
constexpr uint32_t kValues = 1000000;
constexpr int kRounds = 5;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Copies `from` to `to` as a file manager would, with or without making the copy durable.
bool Copy(const std::string& from, const std::string& to, bool durable) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    std::vector<char> buffer(1 << 20);
    quirel::AtomicFileWriter out;
    bool ok = out.Open(to);
    for (ssize_t n; ok && (n = ::read(in, buffer.data(), buffer.size())) > 0;)
        ok = out.Write(std::string_view(buffer.data(), static_cast<size_t>(n)));
    ::close(in);
    if (!durable) {
        out.Abandon(); // the bytes are written; only the flush and the rename are left out
        return ok;
    }
    return ok && out.Commit();
}

} // namespace

int main() {
    char dir[] = "/tmp/quirel-bench-file-XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    const std::string saved = std::string(dir) + "/recording.nbtc";
    const std::string copied = std::string(dir) + "/copy.nbtc";

    CDocMeasurementContinuous doc(nullptr, nullptr);
    std::vector<uint32_t> ids;
    for (int c = 0; c < kChannels; ++c)
        ids.push_back(100 + static_cast<uint32_t>(c));
    doc.InitMeasurement(1, ids, CMeasStart(2024, 1, 1, 0, 0, 0));
    for (uint32_t j = 0; j < kValues; ++j)
        for (int c = 0; c < kChannels; ++c)
            doc.AddValue(c, PARAMVALUE(8, j * 7919u + static_cast<uint32_t>(c)));

    std::vector<double> saves, loads, copies, plainCopies;
    uintmax_t size = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        if (doc.WriteFile(saved, true) != MeasurementFileResult::kOk) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        saves.push_back(Seconds(start));
        size = std::filesystem::file_size(saved);

        CDocMeasurementContinuous loaded(nullptr, nullptr);
        start = Clock::now();
        if (loaded.ReadFile(saved, true) != MeasurementFileResult::kOk ||
            loaded.GetValueCount(kChannels - 1) != kValues) {
            std::fprintf(stderr, "load failed\n");
            return 1;
        }
        loads.push_back(Seconds(start));

        start = Clock::now();
        if (!Copy(saved, copied, true)) {
            std::fprintf(stderr, "copy failed\n");
            return 1;
        }
        copies.push_back(Seconds(start));
        start = Clock::now();
        Copy(saved, copied + ".plain", false);
        plainCopies.push_back(Seconds(start));
        std::printf("round %d: save %.1f ms, load %.1f ms, copy %.1f ms, plain copy %.1f ms\n", round + 1,
                    saves.back() * 1e3, loads.back() * 1e3, copies.back() * 1e3, plainCopies.back() * 1e3);
    }
    std::filesystem::remove_all(dir);

    const double mb = static_cast<double>(size) / 1e6;
    const double save = mb / Median(saves), load = mb / Median(loads), copy = mb / Median(copies);
    const double plain = mb / Median(plainCopies);
    std::printf("file %.1f MB: save %.0f MB/s, load %.0f MB/s, copy %.0f MB/s, plain copy %.0f MB/s\n", mb,
                save, load, copy, plain);
    std::printf("against the plain copy: save %.3f, load %.3f\n", save / plain, load / plain);
    std::printf("file_io_over_copy=%.3f\n", std::min(save, load) / copy);
    return 0;
}
