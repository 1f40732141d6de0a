#include "eventlog/EventLogFile.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "base/TextEncoding.h"
#include "base/UiPort.h"
#include "eventlog/DocErrorMemory.h"

#include <algorithm>

namespace EventLogFile {
namespace {

constexpr unsigned kIdsCannotOpen = 188; // "The specified file cannot be opened."
constexpr unsigned kIdsNoEntries = 212;  // "No entries available."

bool HasMarker(std::string_view head) {
    for (std::string_view marker : {";Error", ";Status", ";Info"})
        if (head.find(marker) != std::string_view::npos)
            return true;
    return false;
}

} // namespace

std::string Bytes(std::string_view utf8Text) {
    const std::string cp1252 = quirel::utf8ToCp1252(utf8Text);
    std::string out;
    out.reserve(cp1252.size() + cp1252.size() / 32 + 2);
    for (char c : cp1252) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    out += "\r\n";
    return out;
}

Result Save(const std::string& path, const CDocErrorMemory& doc) {
    if (doc.GetCount() == 0)
        return Result::NothingToSave;
    return quirel::writeFileAtomically(path, Bytes(doc.GetEntry(0))) ? Result::Ok : Result::CannotCreate;
}

Result Open(const std::string& path, std::string& text, std::string* why) {
    // The limit counts the text, not the carriage returns Save put before each line feed: a log of the
    // full 200 000 bytes, saved and opened again, keeps its last lines.
    const std::optional<std::string> head = quirel::readFileHead(path, 2 * kMaxOpenBytes + 1, why);
    if (!head)
        return Result::CannotOpen;
    const std::string& raw = *head;

    // Read as text, so that saving it again writes the same bytes.
    std::string lines;
    lines.reserve(std::min(raw.size(), kMaxOpenBytes));
    for (size_t i = 0; i < raw.size() && lines.size() < kMaxOpenBytes; ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n'))
            lines.push_back(raw[i]);
    if (!HasMarker(std::string_view(lines).substr(0, kMarkerWindow)))
        return Result::NoMarker;
    text = quirel::decodeText(lines);
    return Result::Ok;
}

void Report(IUiPort& ui, Result result, const std::string& path, const std::string& why) {
    std::string file = path;
    if (!file.empty() && !why.empty())
        file += " (" + why + ")";
    const auto say = [&](const std::string& message) {
        ui.MessageBox(file.empty() ? message : message + "\n" + file, std::string(), MbIcon::Error);
    };
    switch (result) {
    case Result::Ok:
        return;
    case Result::NothingToSave:
        ui.MessageBox(quirel::loadString(kIdsNoEntries), std::string(), MbIcon::Error);
        return;
    case Result::CannotOpen:
        say("File could not be opened");
        return;
    case Result::CannotCreate:
    case Result::NoMarker:
        say(quirel::loadString(kIdsCannotOpen));
        return;
    }
}

} // namespace EventLogFile
