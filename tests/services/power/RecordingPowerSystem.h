// A power system that records every call with its arguments, in order, and answers from a
// script: answers[key] gives one answer per call, the last one repeated; a call without one
// succeeds. Keys: "token" (OpenProcessToken), a module's name (GetModuleHandle, LoadLibrary),
// "find:<entry>" (GetProcAddress) and a called entry's own name (InitiateSystemShutdownExW,
// ExitWindowsEx, SetSuspendState, IsPwrSuspendAllowed, IsPwrHibernateAllowed). Each handle it
// gives out is named by what it stands for. With `release` set, each request that would change
// the machine's state signals `entered` and waits for it. Thread-safe: the action's thread calls
// it, the test reads it.
#pragma once

#include "common/Utf.h"
#include "platform/Sync.h"
#include "services/power/PowerSystem.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace powertest {

using namespace services::power;

class RecordingPowerSystem final : public PowerSystem {
public:
    using Answers = std::map<std::string, std::vector<int>>;
    explicit RecordingPowerSystem(Answers answers = {}) : answers_(std::move(answers)) {}

    // The test owns `release`, so a thread that sets it may outlive this system.
    platform::Event* release = nullptr;
    platform::Event entered{false};

    std::vector<std::string> calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    bool openProcessToken(uint32_t access, Handle& token) override {
        log("OpenProcessToken(" + hex(access) + ")");
        token = handleOf("token");
        return answer("token");
    }
    bool lookupPrivilegeValue(std::u16string_view name, Luid& luid) override {
        log("LookupPrivilegeValue(local, " + utf16ToUtf8(name) + ")");
        luid = Luid{19, 0};
        return true;
    }
    bool adjustTokenPrivilege(Handle token, const Luid& luid, uint32_t attributes) override {
        log("AdjustTokenPrivileges(" + name(token) + ", " + std::to_string(luid.lowPart) + ":" +
            std::to_string(luid.highPart) + ", " + std::to_string(attributes) + ")");
        return true;
    }
    bool closeHandle(Handle handle) override {
        log("CloseHandle(" + name(handle) + ")");
        return true;
    }
    Handle getModuleHandle(std::u16string_view module) override {
        const std::string key = utf16ToUtf8(module);
        log("GetModuleHandle(" + key + ")");
        return answer(key) ? handleOf(key) : 0;
    }
    Handle loadLibrary(std::u16string_view module) override {
        const std::string key = utf16ToUtf8(module);
        log("LoadLibrary(" + key + ")");
        return answer(key) ? handleOf(key) : 0;
    }
    Handle getProcAddress(Handle module, std::string_view entry) override {
        const std::string e(entry);
        log("GetProcAddress(" + name(module) + ", " + e + ")");
        return answer("find:" + e) ? handleOf(e) : 0;
    }
    void freeLibrary(Handle module) override { log("FreeLibrary(" + name(module) + ")"); }

    bool callInitiateSystemShutdownEx(Handle procedure, const char16_t* machine,
                                      const char16_t* message, uint32_t timeout,
                                      bool forceAppsClosed, bool rebootAfterShutdown,
                                      uint32_t reason) override {
        log(name(procedure) + "(" + (machine ? "machine" : "null") + ", " +
            (message ? "message" : "null") + ", " + std::to_string(timeout) + ", force " +
            std::to_string(forceAppsClosed) + ", reboot " + std::to_string(rebootAfterShutdown) +
            ", " + hex(reason) + ")");
        return request(name(procedure));
    }
    uint8_t callPowerQuery(Handle procedure) override {
        log(name(procedure) + "()");
        return uint8_t(answer(name(procedure)));
    }
    uint8_t callSetSuspendState(Handle procedure, bool hibernate, bool force,
                                bool wakeupEventsDisabled) override {
        log(name(procedure) + "(hibernate " + std::to_string(hibernate) + ", force " +
            std::to_string(force) + ", wake disabled " + std::to_string(wakeupEventsDisabled) +
            ")");
        return uint8_t(request(name(procedure)));
    }
    bool exitWindowsEx(uint32_t flags, uint32_t reason) override {
        log("ExitWindowsEx(" + hex(flags) + ", " + hex(reason) + ")");
        return request("ExitWindowsEx");
    }

private:
    static std::string hex(uint32_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%x", v);
        return buf;
    }
    int answer(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = answers_.find(key);
        if (it == answers_.end() || it->second.empty())
            return 1;
        return it->second[std::min(used_[key]++, it->second.size() - 1)];
    }
    int request(const std::string& key) {
        if (release) {
            entered.set();
            release->wait(platform::kInfinite);
        }
        return answer(key);
    }
    Handle handleOf(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find(names_.begin(), names_.end(), what);
        if (it == names_.end())
            it = names_.insert(names_.end(), what);
        return Handle(it - names_.begin()) + 1;
    }
    std::string name(Handle h) {
        std::lock_guard<std::mutex> lock(mutex_);
        return h >= 1 && h <= names_.size() ? names_[h - 1] : "handle " + std::to_string(h);
    }
    void log(const std::string& call) {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
    }

    std::mutex mutex_;
    Answers answers_;
    std::map<std::string, size_t> used_;
    std::vector<std::string> names_;
    std::vector<std::string> calls_;
};

} // namespace powertest
