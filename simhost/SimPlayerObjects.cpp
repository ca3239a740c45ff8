// Playback, the playing-now list, volume with the equalizer, and the version object of the
// simulated player.
#include "simhost/SimObjects.h"
#include "simhost/SimPlayer.h"

namespace simhost::objects {
namespace {

// --- playback, playing now, volume, version ---------------------------------------------------

class PlaybackObject : public SimObject {
public:
    using SimObject::SimObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaybackOp;
        ArgReader a(args, f);
        int32_t n = 0;
        if (is(id, kind, PlaybackOp::State, G)) {
            core_->catchUp();
            return r = HostValue(int32_t(core_->state)), HostStatus::Ok;
        }
        if (is(id, kind, PlaybackOp::Position, G))
            return r = HostValue(core_->positionSeconds()), HostStatus::Ok;
        if (is(id, kind, PlaybackOp::Position, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            core_->seek(n);
            return HostStatus::Ok;
        }
        if (is(id, kind, PlaybackOp::PlaybackFigure, G))
            return r = HostValue(core_->playbackFigure()), HostStatus::Ok;
        if (kind == M) {
            if (!a.expect(0))
                return a.status();
            switch (static_cast<PlaybackOp>(id)) {
            case PlaybackOp::Play:
                return core_->play(), HostStatus::Ok;
            case PlaybackOp::Stop:
                return core_->stop(), HostStatus::Ok;
            case PlaybackOp::Next:
                return core_->next(), HostStatus::Ok;
            case PlaybackOp::Previous:
                return core_->previous(), HostStatus::Ok;
            case PlaybackOp::PlayPause:
                return core_->playPause(), HostStatus::Ok;
            default:
                break;
            }
        }
        return unknown(f, "playback", id, kind);
    }
};

class PlayingNowObject : public SimObject {
public:
    using SimObject::SimObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlayingNowOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        bool b = false;
        PlayerCore& c = *core_;
        c.catchUp();
        if (is(id, kind, PlayingNowOp::Position, G))
            return r = HostValue(c.position), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Position, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (!c.selectEntry(n))
                return badIndex(f, n, c.nowPlaying.size());
            return HostStatus::Ok;
        }
        if (is(id, kind, PlayingNowOp::Shuffle, G))
            return r = HostValue::boolean(c.shuffle), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Shuffle, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.setShuffle(b), HostStatus::Ok;
        }
        if (is(id, kind, PlayingNowOp::Repeat, G))
            return r = HostValue::boolean(c.repeat != RepeatMode::Off), HostStatus::Ok;
        if (is(id, kind, PlayingNowOp::Repeat, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            // Switching on keeps a track repeat set from the player itself.
            if (!b)
                c.setRepeat(RepeatMode::Off);
            else if (c.repeat == RepeatMode::Off)
                c.setRepeat(RepeatMode::List);
            return HostStatus::Ok;
        }
        if (kind != M)
            return unknown(f, "playing-now list", id, kind);
        switch (static_cast<PlayingNowOp>(id)) {
        case PlayingNowOp::Count:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(int32_t(c.nowPlaying.size())), HostStatus::Ok;
        case PlayingNowOp::Item:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= c.nowPlaying.size())
                return badIndex(f, n, c.nowPlaying.size());
            return r = fileValue(core_, c.nowPlaying[size_t(n)]), HostStatus::Ok;
        case PlayingNowOp::Clear:
            if (!a.expect(0))
                return a.status();
            return c.clearNowPlaying(), HostStatus::Ok;
        case PlayingNowOp::Remove:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return r = HostValue::boolean(c.removeEntry(n)), HostStatus::Ok;
        case PlayingNowOp::RepeatedItem:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(c.repeat == RepeatMode::Track ? c.position : -1), HostStatus::Ok;
        case PlayingNowOp::Insert:
            if (!a.expect(2) || !a.integer(0, n) || !a.integer(1, m))
                return a.status();
            return r = HostValue::boolean(c.insertEntry(n, m)), HostStatus::Ok;
        default:
            break;
        }
        return unknown(f, "playing-now list", id, kind);
    }
};

class VolumeObject : public SimObject {
public:
    using SimObject::SimObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::VolumeOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        bool b = false;
        PlayerCore& c = *core_;
        if (is(id, kind, VolumeOp::Volume, G))
            return r = HostValue(c.volume), HostStatus::Ok;
        if (is(id, kind, VolumeOp::Volume, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            return c.setVolume(n), HostStatus::Ok;
        }
        if (is(id, kind, VolumeOp::Muted, G))
            return r = HostValue::boolean(c.muted), HostStatus::Ok;
        if (is(id, kind, VolumeOp::Muted, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.setMuted(b), HostStatus::Ok;
        }
        if (is(id, kind, VolumeOp::EqualizerOn, G))
            return r = HostValue::boolean(c.equalizerOn), HostStatus::Ok;
        if (is(id, kind, VolumeOp::EqualizerOn, P)) {
            if (!a.expect(1) || !a.boolean(0, b))
                return a.status();
            return c.setEqualizerOn(b), HostStatus::Ok;
        }
        if (is(id, kind, VolumeOp::SetBand, M)) {
            if (!a.expect(2) || !a.integer(0, n) || !a.integer(1, m))
                return a.status();
            if (n < 0 || n > 10)
                return badIndex(f, n, 11);
            return c.setBand(n, m), HostStatus::Ok;
        }
        if (is(id, kind, VolumeOp::Band, M)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || n > 10)
                return badIndex(f, n, 11);
            return r = HostValue(c.bands[size_t(n)]), HostStatus::Ok;
        }
        return unknown(f, "volume and equalizer", id, kind);
    }
};

class VersionObject : public SimObject {
public:
    using SimObject::SimObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args, HostValue& r, HostFault* f) override {
        if (is(id, kind, host::VersionOp::Major, G))
            return r = HostValue(kSimMajorVersion), HostStatus::Ok;
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

} // namespace simhost::objects
