// Playback, the playing-now list, volume with the equalizer, and the version object.
#include "automation/Objects.h"

namespace automation::objects {
namespace {

// --- playback, playing now, volume, version ---------------------------------------------------

class PlaybackObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaybackOp;
        ArgReader a(args, f);
        int32_t n = 0;
        if (is(id, kind, PlaybackOp::State, G))
            return r = HostValue(int32_t(core_->playbackState())), HostStatus::Ok;
        if (is(id, kind, PlaybackOp::Position, G))
            return r = HostValue(core_->elapsedSeconds()), HostStatus::Ok;
        if (is(id, kind, PlaybackOp::Position, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return core_->seekTo(n, f);
        }
        if (is(id, kind, PlaybackOp::PlaybackFigure, G))
            return r = HostValue(core_->playbackFigure()), HostStatus::Ok;
        if (kind == M) {
            switch (static_cast<PlaybackOp>(id)) {
            case PlaybackOp::Play:
            case PlaybackOp::Stop:
            case PlaybackOp::Next:
            case PlaybackOp::Previous:
            case PlaybackOp::PlayPause:
                if (!a.expect(0))
                    return a.status();
                return core_->transport(static_cast<PlaybackOp>(id), f);
            default:
                break;
            }
        }
        return unknown(f, "playback", id, kind);
    }
};

class PlayingNowObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlayingNowOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        bool b = false;
        PlayerBackend& c = *core_;
        if (is(id, kind, PlayingNowOp::Position, G))
            return r = HostValue(c.queuePosition()), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Position, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return c.selectEntry(n, f);
        }
        if (is(id, kind, PlayingNowOp::Shuffle, G))
            return r = HostValue::boolean(c.shuffleOn()), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Shuffle, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.putShuffle(b, f);
        }
        if (is(id, kind, PlayingNowOp::Repeat, G))
            return r = HostValue::boolean(c.repeatMode() != RepeatMode::Off), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Repeat, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            // Switching on keeps a track repeat set from the player itself.
            if (!b)
                return c.putRepeat(RepeatMode::Off, f);
            if (c.repeatMode() == RepeatMode::Off)
                return c.putRepeat(RepeatMode::List, f);
            return HostStatus::Ok;
        }
        if (kind != M)
            return unknown(f, "playing-now list", id, kind);
        const std::vector<int32_t>& list = c.queue();
        HostStatus s = HostStatus::Ok;
        switch (static_cast<PlayingNowOp>(id)) {
        case PlayingNowOp::Count:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(int32_t(list.size())), HostStatus::Ok;
        case PlayingNowOp::Item:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= list.size())
                return badIndex(f, n, list.size());
            return r = fileValue(core_, list[size_t(n)]), HostStatus::Ok;
        case PlayingNowOp::Clear:
            if (!a.expect(0))
                return a.status();
            return c.clearQueue(f);
        case PlayingNowOp::Remove:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if ((s = c.removeEntry(n, b, f)) == HostStatus::Ok)
                r = HostValue::boolean(b);
            return s;
        case PlayingNowOp::RepeatedItem:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(c.repeatMode() == RepeatMode::Track ? c.queuePosition() : -1),
                   HostStatus::Ok;
        case PlayingNowOp::Insert:
            if (!a.expect(2) || !a.integer(0, n) || !a.integer(1, m))
                return a.status();
            if ((s = c.insertEntry(n, m, b, f)) == HostStatus::Ok)
                r = HostValue::boolean(b);
            return s;
        default:
            break;
        }
        return unknown(f, "playing-now list", id, kind);
    }
};

class VolumeObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::VolumeOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        bool b = false;
        PlayerBackend& c = *core_;
        if (is(id, kind, VolumeOp::Volume, G)) {
            HostStatus s = c.volumeLevel(n, f);
            if (s == HostStatus::Ok)
                r = HostValue(n);
            return s;
        }
        if (is(id, kind, VolumeOp::Volume, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return c.putVolume(n < 0 ? 0 : (n > 100 ? 100 : n), f);
        }
        if (is(id, kind, VolumeOp::Muted, G))
            return r = HostValue::boolean(c.isMuted()), HostStatus::Ok;
        if (is(id, kind, VolumeOp::Muted, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.putMuted(b, f);
        }
        if (is(id, kind, VolumeOp::EqualizerOn, G))
            return r = HostValue::boolean(c.isEqualizerOn()), HostStatus::Ok;
        if (is(id, kind, VolumeOp::EqualizerOn, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.putEqualizerOn(b, f);
        }
        if (is(id, kind, VolumeOp::SetBand, M)) {
            if (!a.expect(2) || !a.integer(0, n) || !a.integer(1, m))
                return a.status();
            if (n < 0 || n > 10)
                return badIndex(f, n, 11);
            return c.putBand(n, m < -100 ? -100 : (m > 100 ? 100 : m), f);
        }
        if (is(id, kind, VolumeOp::Band, M)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || n > 10)
                return badIndex(f, n, 11);
            return r = HostValue(c.bandValue(n)), HostStatus::Ok;
        }
        return unknown(f, "volume and equalizer", id, kind);
    }
};

class VersionObject : public AutomationObject {
public:
    using AutomationObject::AutomationObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args, HostValue& r, HostFault* f) override {
        if (is(id, kind, host::VersionOp::Major, G))
            return r = HostValue(core_->majorVersion()), HostStatus::Ok;
        return unknown(f, "version", id, kind);
    }
};

} // namespace

HostObjectPtr makePlaybackObject(CorePtr core) {
    return std::make_shared<PlaybackObject>(std::move(core));
}
HostObjectPtr makePlayingNowObject(CorePtr core) {
    return std::make_shared<PlayingNowObject>(std::move(core));
}
HostObjectPtr makeVolumeObject(CorePtr core) {
    return std::make_shared<VolumeObject>(std::move(core));
}
HostObjectPtr makeVersionObject(CorePtr core) {
    return std::make_shared<VersionObject>(std::move(core));
}

} // namespace automation::objects
