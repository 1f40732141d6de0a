#include "ui/common/WindowPlacement.h"

#include "ui/common/SettingsStore.h"

#include <QWidget>

#include <algorithm>

namespace quirel::ui {

void RestoreWindowPlacement(QWidget* frame, ISettingsStore& settings, const char* section) {
    const int x = settings.GetInt(section, "x", 0);
    const int y = settings.GetInt(section, "y", 0);
    const int cx = settings.GetInt(section, "cx", 0);
    const int cy = settings.GetInt(section, "cy", 0);
    if (cx != 0 && cy != 0) {
        frame->move(std::max(x, 0), std::max(y, 0));
        frame->resize(cx, cy);
    }
}

void BringToFront(QWidget* frame) {
    if (frame->isMinimized())
        frame->showNormal();
    frame->raise();
    frame->activateWindow();
}

} // namespace quirel::ui
