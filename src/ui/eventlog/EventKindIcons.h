#pragma once

#include "eventlog/EventLogRows.h"

#include <QIcon>

namespace quirel::ui {

// The list's marks for an error, an info and a status event, drawn here so that they stay sharp at 16
// and 32 pixels: a red disc with "!", a blue disc with "i", a green disc with a tick.
QIcon EventKindIcon(EventKind kind);

} // namespace quirel::ui
