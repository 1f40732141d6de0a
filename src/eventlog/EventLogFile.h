#pragma once

#include <string>
#include <string_view>

class CDocErrorMemory;
class IUiPort;

// The event log as a text file (".txt"): what Save writes and what Open accepts.
namespace EventLogFile {

constexpr size_t kMaxOpenBytes = 200000;
// A file is taken for an event log only when a kind marker occurs within its first 80 characters.
constexpr size_t kMarkerWindow = 80;

enum class Result { Ok, NothingToSave, CannotCreate, CannotOpen, NoMarker };

// The file's bytes for a log text: Windows-1252, the text unchanged and then a line feed, every line feed
// written as carriage return and line feed (as a text-mode file on the device's side of the world).
std::string Bytes(std::string_view utf8Text);

// Writes the document's first entry. A document without entries writes nothing (NothingToSave).
Result Save(const std::string& path, const CDocErrorMemory& doc);

// Reads at most 200 000 bytes of text (carriage returns before line feeds dropped, as a text-mode read
// drops them) and checks its first 80 characters for a marker. On Ok `text` holds the log (UTF-8); otherwise
// it is left as it was, and for CannotOpen `why` (when given) says why.
Result Open(const std::string& path, std::string& text, std::string* why = nullptr);

// The message box for a result other than Ok, through `ui`; the file's name (and why it could not be
// opened) on a line of its own below the message.
void Report(IUiPort& ui, Result result, const std::string& path = std::string(),
            const std::string& why = std::string());

} // namespace EventLogFile
