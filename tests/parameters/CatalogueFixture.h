#pragma once

#include "parameters/ParameterManager.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

// A catalogue written to a temporary file for one test.
class TempCatalogue {
public:
    explicit TempCatalogue(const std::string& text) {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("quirel-cat-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".ini"))
                    .string();
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempCatalogue() { std::filesystem::remove(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline void LoadCatalogue(CParameterManager& m, const TempCatalogue& file, int language) {
    m.SetLanguage(language);
    m.Load(file.path());
}
