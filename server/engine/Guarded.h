// The engine's one error path: a unit of work (one message's dispatch, one delegate session
// event, one cover lookup) runs inside runGuarded, so an exception it throws ends that unit
// only. The failure is reported through the log seam and goes no further; the thread that ran
// it carries on with the next unit.
#pragma once

#include "common/Log.h"

#include <exception>
#include <string>

// Runs work(); when it throws, writes "<what()>: <the exception's text>" as an event of the
// given kind (what() is called only while a log sink is installed) and returns false.
template <class Work, class What> bool runGuarded(LogKind kind, What what, Work&& work) noexcept {
    const char* reason = "an exception of unknown type";
    std::string text;
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        try {
            text = e.what();
            reason = text.c_str();
        } catch (...) {
        }
    } catch (...) {
    }
    try {
        logLazy(kind, [&] { return std::string(what()) + ": " + reason; });
    } catch (...) {
        // Nothing is left to report a failure of the report to.
    }
    return false;
}
