// The automation objects, shared between their source files: the argument reader, the base
// that takes the backend's lock for the whole of every invoke, the files collection (other
// objects read its keys), and the constructors of each object kind. Internal to automation:
// the public entry is makeRootObject in PlayerBackend.h.
#pragma once

#include "automation/PlayerBackend.h"
#include "host/HostAutomation.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace automation::objects {

using host::HostFault;
using host::HostObjectPtr;
using host::HostStatus;
using host::HostValue;
using host::InvokeKind;
using Args = std::span<const HostValue>;
using CorePtr = std::shared_ptr<PlayerBackend>;

HostStatus unknown(HostFault* f, const char* object, int32_t id, InvokeKind kind);
HostStatus badIndex(HostFault* f, int32_t index, size_t count);

// Reads the arguments of one operation, recording the first problem.
class ArgReader {
public:
    ArgReader(Args args, HostFault* f) : args_(args), fault_(f) {}

    bool expect(size_t n) {
        if (args_.size() == n)
            return true;
        status_ = fault(fault_, HostStatus::BadArgumentCount,
                        "expects " + std::to_string(n) + " argument(s), got " +
                            std::to_string(args_.size()));
        return false;
    }
    bool integer(size_t i, int32_t& out) {
        auto v = args_[i].asInt();
        if (v) {
            out = *v;
            return true;
        }
        return mismatch(i, "a number");
    }
    bool boolean(size_t i, bool& out) {
        auto v = args_[i].asInt(); // a VT_BOOL or a VT_I4: non-zero is true
        if (v) {
            out = *v != 0;
            return true;
        }
        return mismatch(i, "a boolean");
    }
    bool text(size_t i, std::u16string& out) {
        if (const std::u16string* t = args_[i].asText()) {
            out = *t;
            return true;
        }
        return mismatch(i, "a text");
    }
    HostStatus status() const { return status_; }

private:
    bool mismatch(size_t i, const char* what) {
        status_ = fault(fault_, HostStatus::TypeMismatch,
                        "argument " + std::to_string(i + 1) + " must be " + what);
        return false;
    }
    Args args_;
    HostFault* fault_;
    HostStatus status_ = HostStatus::Ok;
};

class AutomationObject : public host::HostObject {
public:
    explicit AutomationObject(CorePtr core) : core_(std::move(core)) {}
    HostStatus invoke(int32_t id, InvokeKind kind, Args args, HostValue& result,
                      HostFault* f) final {
        platform::ScopedLock lock(core_->lock);
        core_->settle();
        result = HostValue();
        return run(id, kind, args, result, f);
    }

protected:
    virtual HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& result,
                           HostFault* f) = 0;
    CorePtr core_;
};

bool is(int32_t id, InvokeKind kind, auto op, InvokeKind want) {
    return id == static_cast<int32_t>(op) && kind == want;
}
constexpr InvokeKind M = InvokeKind::Method, G = InvokeKind::Get, P = InvokeKind::Put;

class FilesObject : public AutomationObject {
public:
    FilesObject(CorePtr core, std::vector<int32_t> keys)
        : AutomationObject(std::move(core)), keys_(std::move(keys)) {}
    // Read under the core's lock (another collection's invoke holds it).
    const std::vector<int32_t>& keysLocked() const { return keys_; }

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override;

private:
    std::vector<int32_t> keys_;
};

HostValue fileValue(const CorePtr& core, int32_t key);
HostValue filesValue(const CorePtr& core, std::vector<int32_t> keys);
HostValue playlistValue(const CorePtr& core, int32_t id);
HostObjectPtr makePlaybackObject(CorePtr core);
HostObjectPtr makePlayingNowObject(CorePtr core);
HostObjectPtr makeVolumeObject(CorePtr core);
HostObjectPtr makeVersionObject(CorePtr core);
HostObjectPtr makePlaylistsObject(CorePtr core);

} // namespace automation::objects
