#pragma once

#include <string>
#include <string_view>
#include <vector>

// The kind of an event line. The values are the image indexes of the list: 0 error, 1 info, 2 status.
enum class EventKind : int { Error = 0, Info = 1, Status = 2 };

// The list's column text of a kind: "Error", "Status" or "Info" (the same in both languages).
const char* EventKindText(EventKind kind);

// One list row of the event log.
struct EventLogRow {
    EventKind kind = EventKind::Info;
    std::string kindText; // column 0; empty on the "No entries available." row
    std::string date;
    std::string time;
    std::string description;
    std::string hours; // operating hours, as the device wrote them

    bool operator==(const EventLogRow&) const = default;
};

// The rows of one log text: one per line of more than 5 characters (lines end at line feeds). The kind is
// taken from the first of ";Error", ";Status", ";Info" that occurs after the line's first character (none:
// Info). The fields are cut off the line's start as strtok would: date and time each end at a blank,
// description and operating hours each at a ";"; each skips leading delimiters of its own kind.
std::vector<EventLogRow> SplitEventLogLines(std::string_view text);

class CDocErrorMemory;

// What the list shows for the document: the rows of every entry, or, when that gives no row, the one row
// that says "No entries available." (string 212) in the description column. Before any log was read or
// opened it shows no row: nothing is known of the device's events yet.
std::vector<EventLogRow> EventLogRowsOf(const CDocErrorMemory& doc);
