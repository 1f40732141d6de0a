#include "firmware/FirmwareFile.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace quirel::firmware {
namespace {

// The 1.0 bootloader builds each line in a 64-byte buffer: count * 2 + 4 characters, the carriage return
// and the closing zero.
constexpr int kTextLineBuffer = 64;

bool English() {
    return quirel::uiLanguage() == quirel::kLanguageEnglish;
}

// Every refusal ends alike: the device has not been touched.
std::string Unchanged(const char* english, const char* german) {
    return English() ? std::string(english) + "\nThe device was not changed."
                     : std::string(german) + "\nDas Ger\xC3\xA4t wurde nicht ver\xC3\xA4ndert.";
}

std::string Damaged(int line) {
    char english[80], german[100];
    std::snprintf(english, sizeof english, "The firmware file is damaged: bad record in line %d.", line);
    std::snprintf(german, sizeof german,
                  "Die Firmware-Datei ist besch\xC3\xA4"
                  "digt: fehlerhafter Datensatz in Zeile %d.",
                  line);
    return Unchanged(english, german);
}

std::string NoData() {
    return Unchanged("The firmware file holds no data for the device.",
                     "Die Firmware-Datei enth\xC3\xA4lt keine Daten f\xC3\xBCr das Ger\xC3\xA4t.");
}

} // namespace

std::string ReadFirmwareFile(const std::string& path, FirmwareFile& file) {
    file = FirmwareFile{};
    std::string why;
    const std::optional<std::string> bytes = quirel::readWholeFile(path, quirel::kMaxFirmwareFileBytes, &why);
    if (!bytes)
        return (English() ? "Cannot read the firmware file "
                          : "Die Firmware-Datei kann nicht gelesen werden: ") +
               path + ": " + why;
    file.image = MakeErasedImage();
    std::istringstream in(*bytes);
    file.report = ReadSRecordImage(in, file.image, 0);
    switch (file.report.status) {
    case SRecordReport::Status::NotSRecord:
        return "No srecord hex file detected !";
    case SRecordReport::Status::Damaged:
        return Damaged(file.report.damagedLine);
    case SRecordReport::Status::Ok:
        break;
    }
    // An empty file, or a header and an end record only, would have the bootloader erase the flash and
    // then leave it empty.
    if (file.report.s1Records + file.report.s2Records + file.report.s3Records == 0)
        return NoData();
    std::istringstream again(*bytes);
    for (std::string line; std::getline(again, line);)
        file.lines.push_back(line);
    return {};
}

std::string RefusalFor(const FirmwareFile& file, bool text) {
    const SRecordReport& r = file.report;
    if (text) {
        if (r.largestCount * 2 + 5 > kTextLineBuffer)
            return Unchanged("The records of this firmware file are too long for bootloader 1.0 (at most 29 "
                             "bytes each).",
                             "Die Datens\xC3\xA4tze dieser Firmware-Datei sind f\xC3\xBCr Bootloader 1.0 zu "
                             "lang (h\xC3\xB6"
                             "chstens 29 Bytes je Datensatz).");
        if (!r.endSeen)
            return Unchanged("The firmware file has no end record (S7, S8 or S9), which bootloader 1.0 waits "
                             "for.",
                             "Der Firmware-Datei fehlt der Schlussdatensatz (S7, S8 oder S9), auf den "
                             "Bootloader 1.0 wartet.");
        return {};
    }
    if (r.s1Records + r.s2Records > 0)
        return Unchanged("The firmware file holds S1 or S2 records; this bootloader takes S3 records only.",
                         "Die Firmware-Datei enth\xC3\xA4lt S1- oder S2-Datens\xC3\xA4tze; dieser Bootloader "
                         "nimmt nur S3-Datens\xC3\xA4tze.");
    // S3 data may all lie outside the flash, or be all 0xFF: then not a single block would be sent.
    if (std::all_of(file.image.begin(), file.image.end(), [](std::uint8_t b) { return b == 0xFF; }))
        return NoData();
    return {};
}

} // namespace quirel::firmware
