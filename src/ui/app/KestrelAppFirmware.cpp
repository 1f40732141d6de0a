// "Update Device Firmware": the application's side of the firmware update.
#include "ui/app/KestrelApp.h"

#include "comm/ControllerModbus.h"
#include "firmware/FirmwareUpdateRule.h"
#include "ui/firmware/FirmwareUpdate.h"

#include <QApplication>

bool CKestrelApp::IsFirmwareUpdateEnabled() const {
    return quirel::firmware::FirmwareUpdateEnabled(m_controller->IsConnected(), m_revision);
}

void CKestrelApp::OnUpdateFirmware() {
    if (!IsFirmwareUpdateEnabled())
        return;
    // Once the service dialog is confirmed the device leaves the firmware that answers the controller, and
    // the bootloader may need the very port the controller holds: the connection ends first, so that no job
    // runs into the bootloader, and the next connect reads the new firmware's identification.
    m_firmwareUpdate->Run(QApplication::activeWindow(), [this] { OnDisconnect(); });
    UpdateCommandUi();
}
