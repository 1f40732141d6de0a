#pragma once

#include <QString>

#include <string>

namespace quirel::ui {

// The text of the user interface in the language of this run: `english` itself, or its German form.
// Menus, dialog templates and status texts are looked up here; numbered resource strings come from the
// string table (quirel::loadString).
QString Tx(const char* english);

// A numbered resource string in the current language.
QString ResourceText(unsigned id);

inline QString Qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace quirel::ui
