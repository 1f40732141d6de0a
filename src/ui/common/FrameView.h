#pragma once

#include <QString>

namespace quirel::ui {

// What a frame needs from the view it shows: the name its settings section carries, the title it wants,
// and the two notifications the application passes on (connection state, refresh command).
class IFrameView {
public:
    virtual ~IFrameView() = default;
    // The settings section of the frame rectangle and the view's own values ("CViewParameters", ...).
    virtual const char* ViewClassName() const = 0;
    virtual void OnConnectionState(int state) = 0;
    // The refresh command; false when the view has nothing to refresh.
    virtual bool OnRefresh() = 0;
    // Called once the frame holds the view: title, stored placement, first contents.
    virtual void OnInitialUpdate() = 0;
};

} // namespace quirel::ui
