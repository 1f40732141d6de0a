#pragma once

class QWidget;

namespace quirel::ui {

class ISettingsStore;

// Moves `frame` to the rectangle stored under `section` ("x", "y", "cx", "cy"), as a view does on its
// first update: only when "cx" and "cy" are both non-zero, a negative "x" or "y" counting as 0.
void RestoreWindowPlacement(QWidget* frame, ISettingsStore& settings, const char* section);

// Shows an existing feature window again: restored if minimised, raised and activated.
void BringToFront(QWidget* frame);

} // namespace quirel::ui
