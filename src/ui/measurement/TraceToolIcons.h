#pragma once

#include <QIcon>

// The measurement windows' toolbar pictures, drawn here so that they look the same on every desktop
// (the system's icon theme has no scroll or zoom steps, and a bare X server has no theme at all).
namespace TraceToolIcons {

enum Kind {
    kOpen,
    kSave,
    kPrint,
    kAbout,
    kConfigure,
    kStart,
    kCancel,
    kLeft,
    kRight,
    kUp,
    kDown,
    kZoomIn,
    kZoomOut,
    kFull
};

QIcon Icon(Kind kind);

} // namespace TraceToolIcons
