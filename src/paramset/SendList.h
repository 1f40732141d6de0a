#pragma once

#include "parameters/ParameterValue.h"
#include "paramset/ParamSetFile.h"
#include "paramset/ParamSetTranslation.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CParameterManager;

namespace quirel::paramset {

// A send transfers at most this many values; a longer list is refused before anything is sent.
inline constexpr size_t kMaxSendValues = 600;

// One value of a send, in the order of the file's keys.
struct SendItem {
    enum class State { Pending, Sent, Failed, NotReached };

    int32_t number = 0;
    std::string name;
    CParameterValue value;
    std::string text;    // what is written, as text; "-error-" when the file's text stands for no value
    std::string refusal; // why the file's text was refused (empty when it was taken)
    bool marked = false; // never offered to the device
    State state = State::Pending;
    std::optional<PARAMVALUE> device; // what the device held before the send, when it was read

    bool WasSent() const { return state == State::Sent; }
    // Whether sending it writes registers other than the device holds (compared as written, so that a
    // float that shows rounded alike still counts).
    bool Changes() const;
};

struct SendList {
    FileForm form = FileForm::Current;
    FileLanguage language = FileLanguage::Undecided;
    bool translate = false;
    std::vector<SendItem> items;
};

// Parameters a send never writes, though files carry them (device type and rated current).
bool IsNeverSent(int32_t number);

// The values a file's "Commissioning" section sends: entries of the catalogue's setting identifiers other
// than 210 and 220 (others are skipped without a message), each read by the one judge of value texts in
// the form the file has (the index of a current file, the translated text of an older one). A value whose
// text the judge refuses, or whose text form is "-error-", is marked as not to be sent. `programLanguage`
// is the program's (7 German, 9 English).
SendList BuildSendList(const CParamSetFile& file, const CParameterManager& catalogue, int programLanguage);

// "<number> <name> = <text> " per value, marked ones included: what the user confirms, each value as
// exactly as it will be written.
std::string ConfirmationText(const SendList& list, const char* eol = "\r\n");

// Every value not sent, as "Parameter:<number> (<name>) was NOT SENT!", a line break, a tab and
// " Please check the parameter on device.", in `language` (German for 7); empty when all were sent.
std::string NotSentReport(const SendList& list, int language, const char* eol = "\r\n");

// The refusal of a list longer than kMaxSendValues.
std::string TooManyValuesText(size_t count);

// What the status bar and the CLI say once a send has ended: how many of the list's values were written.
std::string SentText(const SendList& list);

} // namespace quirel::paramset
