#pragma once

#include "comm/DeviceIdentification.h"

#include <functional>
#include <string>

class CControllerModbus;
class IUiPort;

namespace quirel::app {

// What the connect check needs of the program that runs it.
class IConnectCheckHost {
public:
    virtual ~IConnectCheckHost() = default;
    virtual CControllerModbus& Controller() = 0;
    // Messages, and the download's progress.
    virtual IUiPort& Ui() = 0;
    // The catalogue file this run has loaded.
    virtual std::string LoadedCataloguePath() = 0;
    // The IniFile setting.
    virtual std::string GetCatalogueFileName() = 0;
    virtual void SetCatalogueFileName(const std::string& name) = 0;
    // Where "dlParameters.ini" is written.
    virtual std::string DownloadTarget() = 0;
    // Runs device work: a window runs it on a thread of its own, keeps painting meanwhile, says `text`
    // (when given) until the work's own progress says more, and offers a Cancel, which makes the UI port's
    // ProgressCancelled true and calls `onCancel` (when given) on the window's thread.
    virtual void RunDeviceWork(const std::string& caption, const std::string& text,
                               const std::function<void()>& work, const std::function<void()>& onCancel) {
        (void)caption, (void)text, (void)onCancel;
        work();
    }
    virtual void SetIdentificationUnreadable(bool unreadable) = 0;
    virtual void SetDeviceIdentification(const DeviceIdentification& identification) = 0;
    virtual void SetRevisionDiffers(bool differs) = 0;
    // The offer to download (CNewParaFound): true for OK.
    virtual bool OfferDownload() = 0;
    // As the disconnect command: the continuous measurement stops, the connection closes.
    virtual void DisconnectAsCommand() = 0;
    // Ends the program (its exit work closes the documents and windows).
    virtual void ExitProgram() = 0;
};

enum class ConnectCheckOutcome {
    ConnectionLost,        // the identification read lost the connection: its message, not connected
    Cancelled,             // the user cancelled the identification read: not connected, no message
    Unreadable,            // no identification; the default catalogue stays
    UnreadableShutDown,    // no identification with another catalogue loaded: message 220, program ends
    Same,                  // the revisions are equal
    Declined,              // the offer was cancelled: disconnected
    Downloaded,            // "dlParameters.ini" written and chosen: restart message, program ends
    DownloadFailed,        // message 218; connected with the loaded catalogue
    DownloadFailedShutDown // message 218, then 220: program ends
};

// The check after every successful connect: the device's identification against the revision of the
// catalogue loaded (exact, case-sensitive), and the download of the device's catalogue when the user
// agrees. The identification read is the first request of a connection: when it loses the connection
// (no reply, or none that is Modbus) the connect has failed, and that is said once; the catalogue in
// use is then left as it is, since nothing was learnt about the device.
ConnectCheckOutcome RunConnectCheck(IConnectCheckHost& host);

} // namespace quirel::app
