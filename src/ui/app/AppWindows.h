#pragma once

#include "ui/app/MainFrame.h"

#include <string>
#include <vector>

class CKestrelApp;
class QWidget;

// What the program's commands share about its windows.

// The frame a command's dialogs belong to. Not simply the active window: right after a progress window
// that is the progress window itself, already on its way out, and it would take its children along.
QWidget* DialogParent(const CKestrelApp& app);

// A measurement in progress refuses device work that would run into its traffic (said with `text`).
bool RefusedWhileTracing(const CKestrelApp& app, const std::string& text);

// The view of the first of `frames` that shows a View, or nullptr.
template <class View> View* FindView(const std::vector<CMainFrame*>& frames) {
    for (CMainFrame* frame : frames)
        if (auto* view = dynamic_cast<View*>(frame->View()))
            return view;
    return nullptr;
}
