// The root automation object: the entry to every other object, the library search, event
// sinks and registered windows.
#include "automation/Objects.h"

#include <algorithm>

namespace automation {
namespace objects {
namespace {

// --- root ------------------------------------------------------------------------------------

class RootObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

    HostStatus advise(host::HostEventSink* sink, uint32_t& cookie) override {
        if (!sink)
            return HostStatus::Failed;
        platform::ScopedLock lock(core_->lock);
        cookie = core_->nextCookie++;
        core_->sinks[cookie] = sink;
        return HostStatus::Ok;
    }
    HostStatus unadvise(uint32_t cookie) override {
        platform::ScopedLock lock(core_->lock);
        return core_->sinks.erase(cookie) ? HostStatus::Ok : HostStatus::Failed;
    }

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::RootOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        std::u16string text;
        if (kind != M)
            return unknown(f, "root", id, kind);
        auto object = [&](HostObjectPtr o) {
            r = HostValue(std::move(o));
            return HostStatus::Ok;
        };
        switch (static_cast<RootOp>(id)) {
        case RootOp::Playback:
            return a.expect(0) ? object(makePlaybackObject(core_)) : a.status();
        case RootOp::Search: {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            std::vector<int32_t> keys;
            HostStatus s = core_->runSearch(text, nullptr, keys, f);
            if (s == HostStatus::Ok)
                r = filesValue(core_, std::move(keys));
            return s;
        }
        case RootOp::PlayingNow:
            return a.expect(0) ? object(makePlayingNowObject(core_)) : a.status();
        case RootOp::Playlists:
            return a.expect(0) ? object(makePlaylistsObject(core_)) : a.status();
        case RootOp::VolumeEqualizer:
            return a.expect(0) ? object(makeVolumeObject(core_)) : a.status();
        case RootOp::Version:
            return a.expect(0) ? object(makeVersionObject(core_)) : a.status();
        case RootOp::NewFiles:
            return a.expect(0) ? (r = filesValue(core_, {}), HostStatus::Ok) : a.status();
        case RootOp::PlaylistById:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (!core_->findPlaylist(n))
                return object(nullptr); // unknown ids give a null object
            return r = playlistValue(core_, n), HostStatus::Ok;
        case RootOp::RegisterWindow: {
            if (!a.expect(2) || !a.integer(0, n) || !a.integer(1, m))
                return a.status();
            auto& w = core_->windows;
            auto it = std::find(w.begin(), w.end(), n);
            if (m != 0 && it == w.end())
                w.push_back(n);
            else if (m == 0 && it != w.end())
                w.erase(it);
            return HostStatus::Ok;
        }
        }
        return unknown(f, "root", id, kind);
    }
};

} // namespace
} // namespace objects

host::HostObjectPtr makeRootObject(std::shared_ptr<PlayerBackend> backend) {
    return std::make_shared<objects::RootObject>(std::move(backend));
}

} // namespace automation
