// The simulated player's automation objects. Each is a small handle on the shared PlayerCore
// (files collections also carry their own list of file keys) and takes the core's lock for
// the whole of every invoke.
#include "simhost/SimPlayer.h"

#include "simhost/TextFold.h"

#include <algorithm>
#include <string>

namespace simhost {
namespace {

using host::HostFault;
using host::HostObjectPtr;
using host::HostStatus;
using host::HostValue;
using host::InvokeKind;
using Args = std::span<const HostValue>;

HostStatus fault(HostFault* f, HostStatus s, std::string text) {
    if (f)
        f->description = std::move(text);
    return s;
}

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

HostStatus unknown(HostFault* f, const char* object, int32_t id, InvokeKind kind) {
    const char* k = kind == InvokeKind::Method ? "method" : kind == InvokeKind::Get ? "get" : "put";
    return fault(f, HostStatus::UnknownOperation,
                 std::string(object) + " has no " + k + " operation " + std::to_string(id));
}

HostStatus badIndex(HostFault* f, int32_t index, size_t count) {
    return fault(f, HostStatus::BadIndex,
                 "index " + std::to_string(index) + " is outside 0.." +
                     std::to_string(int64_t(count) - 1));
}

using CorePtr = std::shared_ptr<PlayerCore>;

class SimObject : public host::HostObject {
public:
    explicit SimObject(CorePtr core) : core_(std::move(core)) {}
    HostStatus invoke(int32_t id, InvokeKind kind, Args args, HostValue& result,
                      HostFault* f) final {
        platform::ScopedLock lock(core_->lock);
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

// --- file ------------------------------------------------------------------------------------

class FileObject : public SimObject {
public:
    FileObject(CorePtr core, int32_t key) : SimObject(std::move(core)), key_(key) {}
    int32_t key() const { return key_; }

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::FileOp;
        Track* t = core_->track(key_);
        if (!t)
            return fault(f, HostStatus::Failed, "the file is no longer in the library");
        ArgReader a(args, f);
        if (kind == G && args.empty()) {
            switch (static_cast<FileOp>(id)) {
            case FileOp::Path:
                return r = HostValue(t->path), HostStatus::Ok;
            case FileOp::Artist:
                return r = HostValue(t->artist), HostStatus::Ok;
            case FileOp::Album:
                return r = HostValue(t->album), HostStatus::Ok;
            case FileOp::Name:
                return r = HostValue(t->name), HostStatus::Ok;
            case FileOp::Duration:
                return r = HostValue(t->durationSeconds), HostStatus::Ok;
            case FileOp::Genre:
                return r = HostValue(t->genre), HostStatus::Ok;
            case FileOp::TrackNumber:
                return r = HostValue(t->trackNumber), HostStatus::Ok;
            case FileOp::IntProperty10:
                return r = HostValue(t->year), HostStatus::Ok;
            case FileOp::IntProperty11:
                return r = HostValue(t->playCount), HostStatus::Ok;
            case FileOp::Rating:
                return r = HostValue(t->rating), HostStatus::Ok;
            case FileOp::Text:
                return r = HostValue(t->comment), HostStatus::Ok;
            case FileOp::AlbumArtist:
                return r = HostValue(t->albumArtist), HostStatus::Ok;
            default:
                break;
            }
        }
        int32_t n = 0;
        std::u16string text;
        if (is(id, kind, FileOp::Rating, P)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            t->rating = n < 0 ? 0 : (n > 5 ? 5 : n);
            return HostStatus::Ok;
        }
        if (is(id, kind, FileOp::ImagePath, M)) {
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 3 || n > 5)
                return fault(f, HostStatus::BadIndex, "image size code must be 3, 4 or 5");
            auto it = core_->covers.find(t->albumId);
            r = HostValue(it == core_->covers.end()
                              ? std::u16string()
                              : (n == 3 ? it->second.small : it->second.large));
            return HostStatus::Ok;
        }
        if (is(id, kind, FileOp::FieldByName, M)) {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            const FieldInfo* field = findField(text);
            r = HostValue(field ? fieldText(*field, *t) : std::u16string());
            return HostStatus::Ok;
        }
        if (is(id, kind, FileOp::Key, M)) {
            if (!a.expect(0))
                return a.status();
            return r = HostValue(t->key), HostStatus::Ok;
        }
        return unknown(f, "file", id, kind);
    }

private:
    int32_t key_;
};

HostValue fileValue(const CorePtr& core, int32_t key) {
    return HostValue(HostObjectPtr(std::make_shared<FileObject>(core, key)));
}

// --- files collection ------------------------------------------------------------------------

class FilesObject : public SimObject {
public:
    FilesObject(CorePtr core, std::vector<int32_t> keys)
        : SimObject(std::move(core)), keys_(std::move(keys)) {}
    // Read under the core's lock (another collection's invoke holds it).
    const std::vector<int32_t>& keysLocked() const { return keys_; }

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::FilesOp;
        ArgReader a(args, f);
        int32_t n = 0, m = 0;
        std::u16string text;
        if (kind != M)
            return unknown(f, "files collection", id, kind);
        switch (static_cast<FilesOp>(id)) {
        case FilesOp::Count:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(int32_t(keys_.size())), HostStatus::Ok;
        case FilesOp::Item:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= keys_.size())
                return badIndex(f, n, keys_.size());
            return r = fileValue(core_, keys_[size_t(n)]), HostStatus::Ok;
        case FilesOp::Play:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (keys_.empty())
                return fault(f, HostStatus::Failed, "nothing to play: the collection is empty");
            core_->playFiles(keys_, n);
            return HostStatus::Ok;
        case FilesOp::AppendKey:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (!core_->track(n))
                return fault(f, HostStatus::Failed, "no file has key " + std::to_string(n));
            keys_.push_back(n);
            return HostStatus::Ok;
        case FilesOp::Remove:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= keys_.size())
                return r = HostValue::boolean(false), HostStatus::Ok;
            keys_.erase(keys_.begin() + n);
            return r = HostValue::boolean(true), HostStatus::Ok;
        case FilesOp::InsertCopy: {
            if (!a.expect(3) || !a.integer(1, n) || !a.integer(2, m))
                return a.status();
            auto* source = dynamic_cast<FilesObject*>(args[0].asObject().get());
            if (!source)
                return fault(f, HostStatus::TypeMismatch, "argument 1 must be a files collection");
            const auto& from = source->keysLocked();
            if (n < 0 || size_t(n) >= from.size())
                return badIndex(f, n, from.size());
            int32_t key = from[size_t(n)];
            size_t at = (m < 0 || size_t(m) > keys_.size()) ? keys_.size() : size_t(m);
            keys_.insert(keys_.begin() + ptrdiff_t(at), key);
            return r = HostValue(int32_t(at)), HostStatus::Ok;
        }
        case FilesOp::Narrow: {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            std::string error;
            auto kept = core_->search(text, &keys_, error);
            if (!kept)
                return fault(f, HostStatus::Failed, error);
            keys_ = std::move(*kept);
            return HostStatus::Ok;
        }
        }
        return unknown(f, "files collection", id, kind);
    }

private:
    std::vector<int32_t> keys_;
};

HostValue filesValue(const CorePtr& core, std::vector<int32_t> keys) {
    return HostValue(HostObjectPtr(std::make_shared<FilesObject>(core, std::move(keys))));
}

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

// --- playlists -------------------------------------------------------------------------------

class PlaylistObject : public SimObject {
public:
    PlaylistObject(CorePtr core, int32_t id) : SimObject(std::move(core)), id_(id) {}

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaylistOp;
        PlaylistData* p = core_->playlist(id_);
        if (!p)
            return fault(f, HostStatus::Failed, "the playlist was deleted");
        ArgReader a(args, f);
        std::u16string text;
        if (is(id, kind, PlaylistOp::Name, G))
            return r = HostValue(p->name), HostStatus::Ok;
        if (is(id, kind, PlaylistOp::Path, G))
            return r = HostValue(p->path), HostStatus::Ok;
        if (is(id, kind, PlaylistOp::Files, M)) {
            if (!a.expect(0))
                return a.status();
            return r = filesValue(core_, core_->playlistFiles(*p)), HostStatus::Ok;
        }
        if (is(id, kind, PlaylistOp::Id, M)) {
            if (!a.expect(0))
                return a.status();
            return r = HostValue(p->id), HostStatus::Ok;
        }
        if (is(id, kind, PlaylistOp::Property, M)) {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            std::u16string value;
            auto decimal = [](int64_t v) {
                std::string s = std::to_string(v);
                return std::u16string(s.begin(), s.end());
            };
            if (equalsFolded(text, u"Type"))
                value = decimal(int32_t(p->type));
            else if (equalsFolded(text, u"Name"))
                value = p->name;
            else if (equalsFolded(text, u"Path"))
                value = p->path;
            else if (equalsFolded(text, u"ID"))
                value = decimal(p->id);
            else if (equalsFolded(text, u"Expression"))
                value = p->expression;
            return r = HostValue(value), HostStatus::Ok;
        }
        if (is(id, kind, PlaylistOp::SetFiles, M)) {
            if (!a.expect(1))
                return a.status();
            auto* files = dynamic_cast<FilesObject*>(args[0].asObject().get());
            if (!files)
                return fault(f, HostStatus::TypeMismatch, "argument 1 must be a files collection");
            if (p->type != PlaylistType::Ordinary)
                return r = HostValue::boolean(false), HostStatus::Ok; // groups and smart lists
            p->keys = files->keysLocked();
            return r = HostValue::boolean(true), HostStatus::Ok;
        }
        return unknown(f, "playlist", id, kind);
    }

private:
    int32_t id_;
};

HostValue playlistValue(const CorePtr& core, int32_t id) {
    return HostValue(HostObjectPtr(std::make_shared<PlaylistObject>(core, id)));
}

class PlaylistsObject : public SimObject {
public:
    using SimObject::SimObject;

protected:
    HostStatus run(int32_t id, InvokeKind kind, Args args, HostValue& r, HostFault* f) override {
        using host::PlaylistsOp;
        ArgReader a(args, f);
        int32_t n = 0;
        std::u16string name, path;
        auto& lists = core_->playlists;
        if (kind != M)
            return unknown(f, "playlists", id, kind);
        switch (static_cast<PlaylistsOp>(id)) {
        case PlaylistsOp::Count:
            if (!a.expect(0))
                return a.status();
            return r = HostValue(int32_t(lists.size())), HostStatus::Ok;
        case PlaylistsOp::Item:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (n < 0 || size_t(n) >= lists.size())
                return badIndex(f, n, lists.size());
            return r = playlistValue(core_, lists[size_t(n)].id), HostStatus::Ok;
        case PlaylistsOp::Create: {
            if (!a.expect(2) || !a.text(0, name) || !a.text(1, path))
                return a.status();
            if (name.empty())
                return fault(f, HostStatus::Failed, "a playlist needs a name");
            PlaylistData p;
            p.id = core_->nextPlaylistId++;
            p.name = name;
            p.path = path;
            lists.push_back(std::move(p));
            return r = playlistValue(core_, lists.back().id), HostStatus::Ok;
        }
        case PlaylistsOp::Delete:
            if (!a.expect(2) || !a.text(0, name) || !a.text(1, path))
                return a.status();
            for (auto it = lists.begin(); it != lists.end(); ++it)
                if (equalsFolded(it->name, name) && equalsFolded(it->path, path)) {
                    lists.erase(it);
                    return r = HostValue::boolean(true), HostStatus::Ok;
                }
            return r = HostValue::boolean(false), HostStatus::Ok;
        }
        return unknown(f, "playlists", id, kind);
    }
};

// --- root ------------------------------------------------------------------------------------

class RootObject : public SimObject {
public:
    using SimObject::SimObject;

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
            return a.expect(0) ? object(std::make_shared<PlaybackObject>(core_)) : a.status();
        case RootOp::Search: {
            if (!a.expect(1) || !a.text(0, text))
                return a.status();
            std::string error;
            auto keys = core_->search(text, nullptr, error);
            if (!keys)
                return fault(f, HostStatus::Failed, error);
            return r = filesValue(core_, std::move(*keys)), HostStatus::Ok;
        }
        case RootOp::PlayingNow:
            return a.expect(0) ? object(std::make_shared<PlayingNowObject>(core_)) : a.status();
        case RootOp::Playlists:
            return a.expect(0) ? object(std::make_shared<PlaylistsObject>(core_)) : a.status();
        case RootOp::VolumeEqualizer:
            return a.expect(0) ? object(std::make_shared<VolumeObject>(core_)) : a.status();
        case RootOp::Version:
            return a.expect(0) ? object(std::make_shared<VersionObject>(core_)) : a.status();
        case RootOp::NewFiles:
            return a.expect(0) ? (r = filesValue(core_, {}), HostStatus::Ok) : a.status();
        case RootOp::PlaylistById:
            if (!a.expect(1) || !a.integer(0, n))
                return a.status();
            if (!core_->playlist(n))
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

host::HostObjectPtr makeRootObject(std::shared_ptr<PlayerCore> core) {
    return std::make_shared<RootObject>(std::move(core));
}

} // namespace simhost
