// The engine's one error path: a unit of work (one message's dispatch, one delegate session
// event, one cover lookup) runs inside runGuarded, so an exception it throws ends that unit
// only. The failure is reported through the log seam and goes no further; the thread that ran
// it carries on with the next unit.
#pragma once

#include "common/Log.h"

#include <string>

// Runs work(); when it throws, writes "<what()>: <the exception's text>" as an event of the
// given kind (what() is called only while a log sink is installed) and returns false.
template <class Work, class What> bool runGuarded(LogKind kind, What what, Work&& work) noexcept {
    try {
        work();
        return true;
    } catch (...) {
        if (logEnabled()) {
            try {
                logCaughtException(std::string(what()), kind);
            } catch (...) {
                // what() itself failed: nothing is left to report it to.
            }
        }
        return false;
    }
}
