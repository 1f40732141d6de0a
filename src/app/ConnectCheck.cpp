#include "app/ConnectCheck.h"

#include "app/CatalogueDownload.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"

namespace quirel::app {
namespace {

constexpr unsigned kIdsDownloadFailed = 218;
constexpr unsigned kIdsWrongCatalogue = 220;
constexpr unsigned kIdsReadingFirmwareInformation = 1109;
constexpr unsigned kIdsRestart = 1111;

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
    host.RunDeviceWork(caption, [&] { readable = UpdateDeviceIdentification(controller, identification); });
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
    host.RunDeviceWork(caption,
                       [&] { written = DownloadCatalogue(controller, host.Ui(), target, identification); });
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
