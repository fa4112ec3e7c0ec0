#pragma once
// Runs the body of an interface slot or callback that foreign code calls: whatever the body
// raises is written to the daily log with the operation's name and the slot answers `failed`.
#include "foundation/AppLog.h"

#include <exception>
#include <string>

template <class R, class Body>
R GuardedSlot(const char* operation, R failed, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        WriteAppLog(std::string(operation) + ": " + e.what());
    } catch (...) {
        WriteAppLog(std::string(operation) + ": unknown error");
    }
    return failed;
}

template <class Body>
void GuardedCall(const char* operation, Body&& body) noexcept {
    GuardedSlot<int>(operation, 0, [&] {
        body();
        return 0;
    });
}
