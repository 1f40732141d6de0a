// The event log as text: a saved log opened again (a file of any bytes, carriage returns, a missing marker),
// the device's text cut into list rows, and the open log saved. Input: the file's bytes.
#include "FuzzSupport.h"

#include "base/TextEncoding.h"
#include "eventlog/DocErrorMemory.h"
#include "eventlog/EventLogFile.h"
#include "eventlog/EventLogRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // As read from the device: the list shows its rows.
    CDocErrorMemory device;
    device.AddEntry(quirel::decodeText(bytes));
    (void)EventLogRowsOf(device);

    // As opened from a file.
    const MemoryFile file(bytes);
    std::string text = "unchanged";
    const EventLogFile::Result result = EventLogFile::Open(file.path(), text);
    if (result != EventLogFile::Result::Ok) {
        if (text != "unchanged")
            FuzzFail("a refused file changed the text");
        return 0;
    }
    if (text.size() > bytes.size() * 3 || !quirel::isValidUtf8(text))
        FuzzFail("an opened log is no UTF-8 text of its file");
    for (const EventLogRow& row : SplitEventLogLines(text))
        if (row.date.find(' ') != std::string::npos || row.time.find(' ') != std::string::npos ||
            row.description.find(';') != std::string::npos || row.hours.find(';') != std::string::npos)
            FuzzFail("a field holds its own delimiter");
    (void)EventLogFile::Bytes(text);
    return 0;
}
