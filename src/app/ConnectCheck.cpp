#include "app/ConnectCheck.h"

#include "app/CatalogueDownload.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"

namespace quirel::app {
namespace {

constexpr unsigned kIdsModbusError = 178;
constexpr unsigned kIdsDownloadFailed = 218;
constexpr unsigned kIdsWrongCatalogue = 220;
constexpr unsigned kIdsRestart = 1111;
constexpr unsigned kIdsReadingIdentification = 1410;

// Back to the default catalogue, said with message 220, and the program ends.
void ShutDownToDefault(IConnectCheckHost& host, MbIcon icon) {
    host.SetCatalogueFileName(kDefaultCatalogueName);
    host.Ui().MessageBox(loadString(kIdsWrongCatalogue), std::string(), icon);
    host.ExitProgram();
}

} // namespace

ConnectCheckOutcome RunConnectCheck(IConnectCheckHost& host) {
    CControllerModbus& controller = host.Controller();
    const std::string catalogueRevision = ReadCatalogueRevision(host.LoadedCataloguePath());
    const std::string caption = loadString(kIdsReadingFirmwareInformation);

    DeviceIdentification identification;
    bool readable = false;
    bool cancelled = false;
    std::string error;
    host.RunDeviceWork(
        caption, loadString(kIdsReadingIdentification),
        [&] { readable = UpdateDeviceIdentification(controller, identification, &error); },
        [&] {
            cancelled = true;
            controller.AbortTransfers(); // a device that does not answer would keep the user for its retries
        });
    if (cancelled || !controller.IsConnected()) {
        host.SetIdentificationUnreadable(true);
        if (cancelled) {
            if (controller.IsConnected()) // the read had ended: its master is cut off all the same
                host.DisconnectAsCommand();
            return ConnectCheckOutcome::Cancelled;
        }
        host.Ui().MessageBox(error, loadString(kIdsModbusError), MbIcon::Error);
        return ConnectCheckOutcome::ConnectionLost;
    }
    if (!readable) {
        host.SetIdentificationUnreadable(true);
        if (host.GetCatalogueFileName() != kDefaultCatalogueName) {
            ShutDownToDefault(host, MbIcon::Information);
            return ConnectCheckOutcome::UnreadableShutDown;
        }
        return ConnectCheckOutcome::Unreadable;
    }
    host.SetIdentificationUnreadable(false);
    host.SetDeviceIdentification(identification);
    const bool differs = identification.revision != catalogueRevision;
    host.SetRevisionDiffers(differs);
    if (!differs)
        return ConnectCheckOutcome::Same;

    const bool download = host.OfferDownload();
    host.Ui().PostConnectionState(controller.GetState());
    if (!download) {
        host.DisconnectAsCommand();
        return ConnectCheckOutcome::Declined;
    }
    bool written = false;
    const std::string target = host.DownloadTarget();
    host.RunDeviceWork(caption, std::string(),
                       [&] { written = DownloadCatalogue(controller, host.Ui(), target, identification); },
                       {});
    if (written) {
        host.SetCatalogueFileName(kDownloadedCatalogueName);
        host.Ui().MessageBox(loadString(kIdsRestart), std::string(), MbIcon::Information);
        host.ExitProgram();
        return ConnectCheckOutcome::Downloaded;
    }
    host.Ui().MessageBox(loadString(kIdsDownloadFailed), std::string(), MbIcon::Error);
    if (host.GetCatalogueFileName() != kDefaultCatalogueName) {
        ShutDownToDefault(host, MbIcon::Error);
        return ConnectCheckOutcome::DownloadFailedShutDown;
    }
    return ConnectCheckOutcome::DownloadFailed;
}

} // namespace quirel::app
