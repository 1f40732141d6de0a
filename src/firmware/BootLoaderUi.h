#pragma once

#include <string>

// What the bootloader procedure needs from its surroundings besides the message boxes and the progress of
// the UI port: the firmware file, the wait window and a clock. A window program, the command line and the
// tests each give their own.

// The windows of the firmware update that are not message boxes.
class IFirmwareDialogs {
public:
    virtual ~IFirmwareDialogs() = default;
    // The firmware file, as an open dialog asks for it ("Kalvar.srec", "*.srec", the file must exist);
    // empty when the user cancelled.
    virtual std::string AskFirmwareFile() = 0;
    // The wait window ("Wait please!") with its Cancel button, shown while the device is power-cycled.
    virtual void ShowWaitWindow() = 0;
    // True once Cancel was pressed in the wait window.
    virtual bool WaitWindowCancelled() = 0;
    // Disables the window's Cancel button, then closes it.
    virtual void CloseWaitWindow() = 0;
};

// The fixed waits of the bootloader protocol. Tests shorten them; serial read time-outs stay real.
class IClock {
public:
    virtual ~IClock() = default;
    virtual void Sleep(int ms) = 0;
};

class CSteadyClock : public IClock {
public:
    void Sleep(int ms) override;
};
