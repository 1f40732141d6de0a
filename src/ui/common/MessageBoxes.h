#pragma once

#include "base/UiPort.h"

#include <functional>
#include <string>

class QWidget;

namespace quirel::ui {

// Every message box of the program goes through here, so that one place decides how it is shown (and
// tests can answer boxes without a human).
using MessageBoxHandler = std::function<int(QWidget* parent, const std::string& text,
                                            const std::string& caption, MbIcon icon, MbButtons buttons)>;

// Shows the box modally on the user-interface thread and returns the button pressed (IDOK, IDYES, ...).
// An empty caption shows the program's title, as the desktop's message boxes do.
int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons = MbButtons::Ok);

// The same with `defaultButton` (IDCANCEL, IDNO, ...) as the button that Enter presses; 0 keeps the usual.
int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons, int defaultButton);

// The error box "The file could not be written: " with `path`.
void ShowFileNotWritten(QWidget* parent, const std::string& path);

// Replaces how boxes are shown; an empty handler restores the standard QMessageBox.
void SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace quirel::ui
