#include "measurement/MeasurementTexts.h"

#include "base/DecimalNumber.h"
#include "base/StringTable.h"
#include "measurement/DocMeasurementSingle.h"
#include "parameters/ParameterException.h"
#include "parameters/ParameterManager.h"

#include <cstdio>

namespace MeasurementTexts {
namespace {

constexpr unsigned kIdsNoTrigger = 129;
constexpr unsigned kIdsTime = 176;
constexpr unsigned kIdsMeasurementInterval = 199;
constexpr unsigned kIdsTrigger = 200;
constexpr unsigned kIdsChannel = 201;
constexpr unsigned kIdsLevel = 202;
constexpr unsigned kIdsMode = 203;
constexpr unsigned kIdsSampleRate = 204;
constexpr unsigned kIdsDelay = 205;
constexpr unsigned kIdsSampleUnit = 206;
constexpr unsigned kIdsMoreThan = 207;
constexpr unsigned kIdsLessThan = 208;
constexpr unsigned kIdsMeasurementStart = 222;
constexpr unsigned kIdsSpectrumTooFew = 1200;
constexpr unsigned kIdsSpectrumNoRate = 1201;

const CParameterDescription* Find(const CParameterManager* catalogue, unsigned id) {
    return catalogue ? catalogue->FindDescription(static_cast<int32_t>(id)) : nullptr;
}

// printf's "%W.Pf" with the decimal comma.
std::string Fixed(double value, int precision, int width) {
    std::string text = quirel::formatDecimalComma(value, precision);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    return text;
}

} // namespace

std::string TimeAxisTitle(const CDocMeasurementBase& doc) {
    return quirel::loadString(kIdsTime) + " [" + doc.GetTimeUnit() + "]";
}

std::string Legend(const CDocMeasurementBase& doc, int i) {
    if (i < 0 || i >= doc.GetShownChannelCount())
        return "INVALID";
    const unsigned id = doc.GetParameterId(i);
    const bool known = doc.IsDerived(i) || Find(doc.GetCatalogue(), id);
    const std::string scaling = " x" + quirel::formatDecimalComma(doc.GetFactor(i), 2) + " +" +
                                quirel::formatDecimalComma(doc.GetOffset(i), 2);
    std::string text = known ? doc.GetChannelTitle(i) + " [" + doc.GetChannelUnit(i) + "]" + scaling
                             : std::to_string(id) + " -- [--]" + scaling;
    const uint32_t axis = doc.GetAxis(i);
    if (axis == CParameterValuesDiagram::kAxisLeft)
        text += " (YLeft)";
    else if (axis == CParameterValuesDiagram::kAxisRight)
        text += " (YRight)";
    return text;
}

std::string CursorLine(const CDocMeasurementBase& doc, int i, std::optional<double> value) {
    const unsigned id = doc.GetParameterId(i);
    const bool known = doc.IsDerived(i) || Find(doc.GetCatalogue(), id);
    const std::string shown = value ? Fixed(*value, doc.GetChannelPrecision(i), 6) : std::string("    --");
    if (!known)
        return std::to_string(id) + CDocMeasurementBase::kUnknownChannelName + shown +
               CDocMeasurementBase::kUnknownChannelName;
    return doc.GetChannelTitle(i) + shown + doc.GetChannelUnit(i);
}

std::string DtLine(double dt, const std::string& unit) {
    return "dt = " + quirel::formatDecimalComma(dt, 4) + " " + unit;
}

std::vector<std::string> TriggerLines(const CDocMeasurementSingle& doc) {
    const CTrigger trigger = doc.GetTrigger();
    const CParameterManager* catalogue = doc.GetCatalogue();
    const CParameterDescription* d = Find(catalogue, trigger.GetParameterId());
    if (!d)
        return {quirel::loadString(kIdsNoTrigger)};
    std::string level;
    try {
        level = trigger.GetLevel().GetText(*catalogue);
    } catch (const CParameterException&) {
        level = "--";
    }
    return {
        quirel::loadString(kIdsTrigger) + ":",
        quirel::loadString(kIdsChannel) + " " + std::to_string(trigger.GetParameterId()) + " " + d->GetName(),
        quirel::loadString(kIdsLevel) + level + " " + d->GetUnit(),
        quirel::loadString(kIdsMode) +
            quirel::loadString(trigger.GetMode() == 0 ? kIdsMoreThan : kIdsLessThan),
        quirel::loadString(kIdsSampleRate) + " " + std::to_string(trigger.GetDivider()) + " " +
            quirel::loadString(kIdsSampleUnit),
        quirel::loadString(kIdsDelay) + " " + quirel::formatDecimalComma(trigger.GetDelayMs(), 5) + " ms",
    };
}

std::string IntervalLine(unsigned interval) {
    return quirel::loadString(kIdsMeasurementInterval) + ": " + std::to_string(interval) + " s";
}

std::string StartLine(const CMeasStart& s) {
    char text[96];
    std::snprintf(text, sizeof text, ": %.4d-%.2d-%.2d %.2d:%.2d:%.2d", s.GetYear(), s.GetMonth(), s.GetDay(),
                  s.GetHour(), s.GetMinute(), s.GetSecond());
    return quirel::loadString(kIdsMeasurementStart) + text;
}

std::string SpectrumRefusal(const Spectrum::Result& result) {
    switch (result.status) {
    case Spectrum::Result::kTooFewValues:
        return quirel::fillString(kIdsSpectrumTooFew,
                                  {std::to_string(result.length), std::to_string(result.available)});
    case Spectrum::Result::kNoSamplePeriod:
        return quirel::loadString(kIdsSpectrumNoRate);
    default:
        return std::string();
    }
}

} // namespace MeasurementTexts
