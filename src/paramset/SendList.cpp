#include "paramset/SendList.h"

#include "base/StringTable.h"
#include "parameters/ParameterManager.h"

#include <utility>

namespace quirel::paramset {
namespace {

constexpr unsigned kIdsTooManyValues = 1107;
constexpr unsigned kIdsSent = 1117;

} // namespace

bool SendItem::Changes() const {
    if (marked || !device)
        return false;
    uint16_t sent[2] = {}, held[2] = {};
    const int n = value.GetValue().ToRegisters(sent);
    return device->ToRegisters(held) != n || sent[0] != held[0] || sent[1] != held[1];
}

bool IsNeverSent(int32_t number) {
    return number == 210 || number == 220;
}

SendList BuildSendList(const CParamSetFile& file, const CParameterManager& catalogue, int programLanguage) {
    SendList list;
    const std::vector<ParamSetEntry> entries = file.Entries(kCommissioning);
    list.form = DetectForm(entries);
    if (list.form == FileForm::Older) {
        list.language = DetectLanguage(entries);
        const int language = list.language == FileLanguage::German ? kLanguageGerman : kLanguageEnglish;
        const int program = programLanguage == kLanguageEnglish ? kLanguageEnglish : kLanguageGerman;
        list.translate = list.language != FileLanguage::Undecided && language != program;
    }
    for (const ParamSetEntry& e : entries) {
        if (!catalogue.IsSettingId(e.number) || IsNeverSent(e.number))
            continue;
        const CParameterDescription* d = catalogue.FindDescription(e.number);
        if (!d)
            continue;
        SendItem item;
        item.number = e.number;
        item.name = d->GetName();
        item.value =
            CParameterValue(static_cast<uint32_t>(e.number), static_cast<uint32_t>(d->GetDataType()), 0);
        // A current file's index counts, whatever language its text is in; an older file's text is a
        // value text as a user would type it.
        std::string text = e.stored;
        ValueTextSource source = ValueTextSource::Typed;
        if (list.form == FileForm::Current)
            source = ValueTextSource::File;
        else if (list.translate)
            text = TranslateText(e.number, e.stored, programLanguage);
        else
            text = NormaliseText(e.number, e.stored, list.language);
        item.refusal = text == kErrorText && e.stored != text
                           ? TranslationRefusal(e.number, e.stored) // name the file's text, not "-error-"
                           : item.value.TakeText(*d, text, source);
        item.text = item.refusal.empty() ? CParameterValue::FormatExactText(*d, item.value.GetValue())
                                         : std::string(kErrorText);
        item.marked = item.text == kErrorText;
        list.items.push_back(std::move(item));
    }
    return list;
}

std::string ConfirmationText(const SendList& list, const char* eol) {
    std::string text;
    for (const SendItem& item : list.items)
        text.append(std::to_string(item.number))
            .append(" ")
            .append(item.name)
            .append(" = ")
            .append(item.text)
            .append(" ")
            .append(eol);
    return text;
}

std::string NotSentReport(const SendList& list, int language, const char* eol) {
    const bool german = language == kLanguageGerman;
    const char* verdict = german ? "wird NICHT GESENDET!" : "was NOT SENT!";
    const char* advice = german ? " Bitte den Parameter im Ger\xC3\xA4t kontrollieren."
                                : " Please check the parameter on device.";
    std::string report;
    for (const SendItem& item : list.items) {
        if (item.WasSent())
            continue;
        report.append("Parameter:")
            .append(std::to_string(item.number))
            .append(" (")
            .append(item.name)
            .append(") ")
            .append(verdict)
            .append(eol)
            .append("\t")
            .append(advice)
            .append(eol);
    }
    return report;
}

std::string TooManyValuesText(size_t count) {
    return fillString(kIdsTooManyValues, {std::to_string(count)});
}

std::string SentText(const SendList& list) {
    size_t sent = 0;
    for (const SendItem& item : list.items)
        sent += item.WasSent() ? 1 : 0;
    return fillString(kIdsSent, {std::to_string(sent), std::to_string(list.items.size())});
}

} // namespace quirel::paramset
