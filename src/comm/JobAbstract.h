#pragma once

class CControllerModbus;

// One piece of device work. The user-interface thread creates it and offers it to a queue of the
// controller; the worker thread runs it and deletes it. Execute reports its own failures and lets no
// exception out.
class CJobAbstract {
public:
    virtual ~CJobAbstract() = default;
    virtual void Execute(CControllerModbus& controller) { (void)controller; }
};
