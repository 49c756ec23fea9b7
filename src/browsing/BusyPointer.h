#pragma once
// The busy pointer for the length of a scope, back to the default however the scope ends.

#include "lists/UiPort.h"

namespace quillory::browsing {

class BusyPointer {
public:
    explicit BusyPointer(lists::UiPort& ui) : ui_(ui) { ui_.setBusy(true); }
    ~BusyPointer() { ui_.setBusy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    lists::UiPort& ui_;
};

} // namespace quillory::browsing
