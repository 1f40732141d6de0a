#pragma once

#include <initializer_list>
#include <string>

// The report's own texts in the user-interface language (string table 1750-1849), and its numbers.
namespace quirel::report {

enum ReportText : unsigned {
    kTitle = 1750,
    kCreated,
    kConnection,
    kVendor,
    kProduct,
    kRevision,
    kCatalogueRevision,
    kCatalogueFile,
    kSameAsDevice,
    kDiffersFromDevice,
    kOverview,
    kParameterSet,
    kEventLog,
    kMissing,
    kNothingMissing,
    kSummary,
    kWaveforms,
    kFigures,
    kHarmonics,
    kEffectiveness,
    kPhase,
    kChannel,
    kValue,
    kUnit,
    kFactoryValue,
    kChangedMark, // "changed from the catalogue's factory value"
    kRms,
    kPeak,
    kMean,
    kFrequency,
    kThd,
    kPeriods,
    kPhaseAngle,
    kDpf,
    kPf,
    kActivePower,
    kReactivePower,
    kApparentPower,
    kOrder,
    kLimit,
    kVerdict,
    kPass,
    kFail,
    kNoVerdict,
    kOfFundamental,
    kOfDemandCurrent,
    kVoltages,
    kMainsCurrents,
    kLoadCurrents,
    kOtherChannels,
    kLoadCurrentName,    // "Load current L%1 (mains less filter current)"
    kCapturedForReport,  // "Captured for this report"
    kSampleRate,         // "Sample rate"
    kTime,               // "Time [ms]"
    kLoadBefore,         // "Load current (without the filter)"
    kMainsAfter,         // "Mains current (with the filter)"
    kReduction,          // "Reduction"
    kNoLimitsChosen,     // no --limits: percent without verdicts
    kSmallOrdersLeftOut, // orders below 0.5 % of the fundamental are not listed
    kKind,
    kDate,
    kTimeOfDay,
    kDescription,
    kOperatingHours,
    kNoEvents,
    kWhat,
    kWhy,
    kIdentificationPart,
    kParameterPart, // "Parameter %1 %2"
    kOverviewPart,  // "Overview value %1 %2"
    kEventLogPart,
    kCapturePart,
    kMeasurementFilePart, // "Measurement file %1"
    kDerivedPart,         // "Derived channels of %1"
    kConnectionLostReason,
    kNoValueReason,
    kNoTriggerReason, // the device did not trigger within %1 s
    kCaptureFailedReason,
    kNoCaptureChannels,
    kSkippedAfterLoss, // not asked: the connection was lost before
    kGatheringCaption, // progress caption "Service report"
    kReadingIdentification,
    kReadingOverview,
    kReadingEventLog,
    kCapturing,
    kAnalysing,
    kSavedText,      // "The service report was saved: "
    kPartsMissing,   // "%1 parts could not be read; they are listed at the end."
    kThdSummary,     // "THD of the current, phase L%1: %2 % without the filter, %3 % with it"
    kNoDevice,       // the report holds measurement files only
    kSeeMeasurement, // "Measurement %1"
    kFilterCurrents,
    kHarmonicOrder,
    kHarmonicCurrent, // "Harmonic current (RMS) [A]"
    kPercentAxis,     // "Share [%]"
    kFundamentalRms,  // "Fundamental (RMS)"
    kEventLogFailedReason,
    kSamples,           // "%1 values, %2 ms"
    kNoSpectrumVerdict, // the spectrum command's limits without whole mains periods
};

static_assert(kNoSpectrumVerdict < 1850, "the report's texts are 1750 to 1849");

const std::string& Text(ReportText id);
// The text with %1, %2, ... replaced in turn.
std::string Text(ReportText id, std::initializer_list<std::string> args);

// A figure with `significant` significant digits (none dropped before the decimal comma), the comma as
// everywhere in the program; an en dash where it cannot be had.
std::string FormatFigure(double v, int significant = 4);
// A number with a fixed number of decimals, an en dash for NaN.
std::string FormatFixed(double v, int decimals);

} // namespace quirel::report
