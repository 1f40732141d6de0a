// Loads generated catalogues of 1 000 and 10 000 parameters and looks parameters up by identifier and
// by name. Loading must grow linearly with the catalogue; the last line gives the ratio of load times.
#include "base/StringTable.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Folders of 50 parameters each under three top folders, like a device catalogue grown large.
std::string WriteCatalogue(const std::filesystem::path& dir, int parameters) {
    const auto path = dir / ("Parameters" + std::to_string(parameters) + ".ini");
    std::ofstream out(path, std::ios::binary);
    const int perFolder = 50;
    const int folders = (parameters + perFolder - 1) / perFolder;
    out << "[Rootfolder]\r\nNrOfSubfolders=" << folders << "\r\nFolderName=Wurzel\r\nFolderName_en=Root\r\n";
    for (int f = 1; f <= folders; ++f)
        out << "Folder" << f << "=Folder" << f << "\r\n";
    int id = 1000;
    for (int f = 1; f <= folders; ++f) {
        const int n = std::min(perFolder, parameters - (f - 1) * perFolder);
        out << "\r\n[Folder" << f << "]\r\nNrOfParameters=" << n << "\r\nFolderName=Ordner " << f
            << "\r\nFolderName_en=Folder " << f << "\r\n";
        for (int p = 1; p <= n; ++p)
            out << "Parameter" << p << "=" << (id + p) << "\r\n";
        for (int p = 1; p <= n; ++p) {
            const int pid = id + p;
            out << "\r\n[" << pid << "]\r\nParameterName=Parameter " << pid
                << "\r\nParameterName_en=Parameter " << pid << " en\r\nUnit=A\r\nModbusAddress=" << pid
                << "\r\nDataType=8\r\nPrecision=2\r\n"
                << "AccessType=rw\r\nNrOfValues=2\r\nText1=Aus\r\nText2=Ein\r\nText_en1=Off\r\nText_en2="
                   "On\r\n"
                << "HelpText=Hilfe zu " << pid << "\r\nHelpText_en=Help on " << pid << "\r\n";
        }
        id += n;
    }
    return path.string();
}

// A program loads its catalogue once, at start-up, with nothing of it in the processor's caches. Each
// timed load starts that way: a sweep over more memory than any cache holds pushes out the last load, so
// the small catalogue does not gain from staying cached while the large one cannot.
void EvictCaches() {
    static std::vector<unsigned char> sweep(64u << 20);
    static unsigned char round = 0;
    ++round;
    for (size_t i = 0; i < sweep.size(); i += 64)
        sweep[i] = static_cast<unsigned char>(sweep[i] + round);
}

// One sample: the mean time of `repeat` loads, each from cold caches.
double LoadMs(const std::string& path, int repeat) {
    double total = 0;
    for (int r = 0; r < repeat; ++r) {
        CParameterManager m;
        m.SetLanguage(quirel::kLanguageEnglish);
        EvictCaches();
        const auto t0 = Clock::now();
        m.Load(path);
        total += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    return total / repeat;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Lookups(const std::string& path, int parameters) {
    CParameterManager m;
    m.SetLanguage(quirel::kLanguageEnglish);
    m.Load(path);
    const int rounds = 200000;
    volatile int sink = 0;
    auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        sink = sink + m.GetDescription(1001 + i % parameters).GetModbusAddress();
    const double byId = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / rounds;
    std::vector<std::string> names;
    m.GetAllNames(names);
    t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        sink = sink + m.GetId(names[static_cast<size_t>(i) % names.size()]);
    const double byName = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / rounds;
    std::printf("lookup_%d_by_id_ns=%.0f\nlookup_%d_by_name_ns=%.0f\n", parameters, byId, parameters, byName);
}

} // namespace

int main() {
    const auto dir = std::filesystem::temp_directory_path() / ("quirel-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string small = WriteCatalogue(dir, 1000);
    const std::string large = WriteCatalogue(dir, 10000);
    LoadMs(large, 1); // warm the file cache
    // The machine is shared: samples of both sizes alternate, and each small sample spans ten loads, so
    // both sizes are timed over similar stretches under the same load from elsewhere. Every load starts
    // from cold caches (EvictCaches).
    std::vector<double> small1k, large10k;
    for (int r = 0; r < 9; ++r) {
        small1k.push_back(LoadMs(small, 10));
        large10k.push_back(LoadMs(large, 1));
    }
    const double t1k = Median(small1k);
    const double t10k = Median(large10k);
    Lookups(small, 1000);
    Lookups(large, 10000);
    std::filesystem::remove_all(dir);
    std::printf("catalogue_1k_load_ms=%.2f\ncatalogue_10k_load_ms=%.2f\n", t1k, t10k);
    std::printf("catalogue_10k_over_1k=%.2f\n", t10k / t1k);
    return 0;
}
