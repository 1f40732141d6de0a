#pragma once

namespace quirel {

// A flag another thread can raise to end every wait that polls it: an eventfd that stays readable once
// raised. Waits poll fd() beside their own descriptor and give up when it is readable.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    // Thread-safe; raising twice is harmless.
    void raise();
    bool raised() const;
    int fd() const { return fd_; }

private:
    int fd_;
};

} // namespace quirel
