#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// A private folder below the system's temporary folder for one test, removed with everything in it when
// the test ends, also when it fails.
class TempFolder {
public:
    TempFolder() : m_path((std::filesystem::temp_directory_path() / "quirel-test-XXXXXX").string()) {
        if (!::mkdtemp(m_path.data()))
            m_path += "-unavailable"; // writes fail instead of landing elsewhere
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
