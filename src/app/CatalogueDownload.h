#pragma once

#include "comm/DeviceIdentification.h"

#include <string>

class CControllerModbus;
class IUiPort;

// The device's own catalogue: its revision against the loaded catalogue's, and the download of its text
// from the device's file records into "dlParameters.ini".
namespace quirel::app {

// The caption of the connect check's progress window, which the download it may start keeps.
inline constexpr unsigned kIdsReadingFirmwareInformation = 1109;

inline constexpr const char* kDefaultCatalogueName = "Parameters.ini";
inline constexpr const char* kDownloadedCatalogueName = "dlParameters.ini";

// Where the device keeps the catalogue text: files 2 to 12, 100 blocks of 100 registers each.
inline constexpr int kFirstCatalogueFile = 2;
inline constexpr int kLastCatalogueFile = 12;
inline constexpr int kBlocksPerFile = 100;
inline constexpr int kRegistersPerBlock = 100;
inline constexpr int kBlockBytes = 2 * kRegistersPerBlock;

// [DeviceId] Revision of the catalogue file (at most 49 characters; "" when absent or unreadable).
std::string ReadCatalogueRevision(const std::string& cataloguePath);

// Reads the basic identification through the controller; false when the controller raises its
// communication error (the values then stay as they were; `error`, when given, receives its message).
// Texts that are not UTF-8 are read as Windows-1252.
bool UpdateDeviceIdentification(CControllerModbus& controller, DeviceIdentification& identification,
                                std::string* error = nullptr);

// The progress bar's position while block `block` of file `file` is read: 0..100.
int DownloadProgress(int file, int block);

// Reads the catalogue text from the device up to its first zero byte (all of files 2 to 12 when there is
// none) and writes it, the zero byte included, to `target`, followed by section "DeviceID" with the
// device's identification, so that the next comparison finds the revisions equal. Progress ("Reading
// firmware information") goes through `ui`; a failed probe shows message 218, a failed block read its own
// error, both with the error icon. A reply the master cannot use ends the download as a failure rather
// than as a catalogue cut short; a target that cannot be written ends it before the device is asked.
// True when the file was written.
bool DownloadCatalogue(CControllerModbus& controller, IUiPort& ui, const std::string& target,
                       const DeviceIdentification& identification);

} // namespace quirel::app
