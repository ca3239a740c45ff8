#include "client/Describe.h"

#include "server/wire/WinampMediaLibraryList.h"

#include <cstdio>

namespace remote {

std::string hexKey(const TrackKey& key) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : key.bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string formatDuration(uint64_t milliseconds) {
    const uint64_t total = milliseconds / 1000;
    const uint64_t h = total / 3600, m = total / 60 % 60, s = total % 60;
    char text[48];
    if (h > 0)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", (unsigned long long)h,
                      (unsigned long long)m, (unsigned long long)s);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", (unsigned long long)m,
                      (unsigned long long)s);
    return text;
}

const char* playStateName(uint32_t playState) {
    switch (playState) {
    case 0:
        return "playing";
    case 1:
        return "paused";
    case 2:
        return "stopped";
    default:
        return "unknown";
    }
}

const char* repeatModeName(uint32_t mode) {
    switch (mode) {
    case 1:
        return "track";
    case 2:
        return "list";
    default:
        return "off";
    }
}

const char* noticeReasonName(uint8_t reason) {
    switch (reason) {
    case wire::NOTICE_SUSPEND:
        return "the computer is suspending";
    case wire::NOTICE_SESSION_END:
        return "the Windows session is ending";
    case wire::NOTICE_SETTINGS_CHANGED:
        return "the settings changed and the server restarts";
    case wire::NOTICE_TAKEN_OVER:
        return "another app has taken over the connection";
    default:
        return "unknown reason";
    }
}

namespace {

Value trackValue(const TrackInfo& t) {
    Value v = Value::object();
    v.set("index", t.index);
    v.set("current", t.isCurrent != 0);
    v.set("name", t.name);
    v.set("artist", t.artist);
    v.set("album", t.album);
    v.set("genre", t.genre);
    v.set("duration", formatDuration(t.durationMs));
    v.set("durationMs", t.durationMs);
    v.set("trackNumber", t.trackNumber);
    v.set("rating", t.rating);
    v.set("key", hexKey(t.key));
    if (!t.displayText.empty())
        v.set("displayText", t.displayText);
    return v;
}

Value indexedList(const std::vector<wire::IndexedText>& entries) {
    Value list = Value::array();
    for (const auto& e : entries) {
        Value item = Value::object();
        item.set("index", e.index);
        item.set("text", e.text);
        list.push(std::move(item));
    }
    return list;
}

Value playlistList(const std::vector<PlaylistEntry>& playlists, bool withFlags) {
    Value list = Value::array();
    for (const auto& p : playlists) {
        Value item = Value::object();
        item.set("id", p.id);
        item.set("files", p.fileCount);
        item.set("name", p.name);
        if (withFlags)
            item.set("flags", p.flags);
        list.push(std::move(item));
    }
    return list;
}

const char* listKindName(int32_t kind) {
    switch (kind) {
    case LIST_KIND_GENRES:
        return "genres";
    case LIST_KIND_ARTISTS:
        return "artists";
    case LIST_KIND_COMPOSERS:
        return "composers";
    case LIST_KIND_TRACK_NAMES:
        return "track names";
    case LIST_KIND_ALBUM_PAIRS:
        return "albums (title, artist pairs)";
    case LIST_KIND_ALBUMS:
        return "albums";
    case LIST_KIND_TRACKS:
        return "tracks";
    default:
        return "unknown";
    }
}

// Entries of a decoded library list.
Value listEntries(const WinampMediaLibraryListBase& list) {
    Value out = Value::array();
    if (const auto* strings = dynamic_cast<const LibraryStringList*>(&list)) {
        if (list.kind == LIST_KIND_ALBUM_PAIRS) {
            for (size_t i = 0; i + 1 < strings->entries.size(); i += 2) {
                Value item = Value::object();
                item.set("album", strings->entries[i]);
                item.set("artist", strings->entries[i + 1]);
                out.push(std::move(item));
            }
        } else {
            for (const auto& s : strings->entries)
                out.push(s);
        }
    } else if (const auto* albums = dynamic_cast<const LibraryAlbumList*>(&list)) {
        for (const auto& a : albums->entries) {
            Value item = Value::object();
            item.set("album", a.title);
            item.set("artist", a.artist);
            item.set("number", a.number);
            out.push(std::move(item));
        }
    } else if (const auto* tracks = dynamic_cast<const LibraryTrackList*>(&list)) {
        for (const auto& t : tracks->entries) {
            Value item = Value::object();
            item.set("name", t.name);
            item.set("artist", t.artist);
            item.set("album", t.album);
            item.set("duration", formatDuration(uint64_t(t.durationSeconds) * 1000));
            item.set("track", t.trackNumber);
            item.set("rating", t.rating);
            if (t.hasExtra()) {
                item.set("extraText", t.extraText);
                item.set("extraNumber", t.extraNumber);
            }
            out.push(std::move(item));
        }
    }
    return out;
}

Value libraryList(int code, uint32_t count, const std::vector<uint8_t>& bytes) {
    Value v = Value::object();
    auto list = decodeLibraryList(code, count, bytes.data(), bytes.size());
    v.set("kind", list ? listKindName(list->kind) : "unknown");
    v.set("count", count);
    if (list)
        v.set("entries", listEntries(*list));
    else
        v.set("malformed", true);
    return v;
}

} // namespace

Value describe(const wire::TrackInfoMessage& m) {
    return trackValue(m.track);
}

Value describe(const wire::PlayerStatusMessage& m) {
    Value v = Value::object();
    v.set("state", playStateName(m.status.playState));
    v.set("position", formatDuration(m.status.positionMs));
    v.set("positionMs", m.status.positionMs);
    // Rounded percent for people, the wire level for scripts.
    v.set("volume", unsigned((m.status.volume * 100u + 32767u) / 65535u));
    v.set("volumeLevel", m.status.volume);
    v.set("shuffle", m.status.shuffle != 0);
    v.set("repeat", repeatModeName(m.status.repeatMode));
    return v;
}

Value describe(const wire::NowPlayingListMessage& m) {
    Value v = Value::object();
    v.set("count", unsigned(m.entries.size()));
    v.set("entries", indexedList(m.entries));
    return v;
}

Value describe(const wire::PlaylistsMessage& m) {
    Value v = Value::object();
    v.set("count", unsigned(m.playlists.size()));
    v.set("playlists", playlistList(m.playlists, false));
    return v;
}

Value describe(const wire::PlaylistsExMessage& m) {
    Value v = Value::object();
    v.set("parameter", m.parameter);
    v.set("listFlags", m.listFlags);
    v.set("count", unsigned(m.playlists.size()));
    v.set("playlists", playlistList(m.playlists, true));
    return v;
}

Value describe(const wire::PlaylistTracksMessage& m) {
    Value v = Value::object();
    v.set("playlist", m.playlistId);
    v.set("count", unsigned(m.entries.size()));
    v.set("entries", indexedList(m.entries));
    return v;
}

Value describe(const wire::PlaylistDetailsMessage& m) {
    Value v = Value::object();
    v.set("playlist", m.list.playlistId);
    v.set("name", m.list.name);
    v.set("count", unsigned(m.list.entries.size()));
    Value entries = Value::array();
    for (const auto& t : m.list.entries)
        entries.push(trackValue(t));
    v.set("entries", std::move(entries));
    return v;
}

Value describe(const wire::LibraryListMessage& m) {
    Value v = libraryList(m.code, m.count, m.entries);
    v.set("request", m.requestId);
    return v;
}

Value describe(const wire::SearchResultsMessage& m) {
    Value v = libraryList(3, m.total, m.entries);
    v.set("search", m.searchId);
    return v;
}

Value describe(const wire::EqualizerMessage& m) {
    Value v = Value::object();
    v.set("enabled", m.enabled != 0);
    v.set("available", m.available != 0);
    v.set("range", m.range);
    v.set("scale", m.scale);
    v.set("preamp", m.setting.preamp);
    Value bands = Value::array();
    for (const auto& b : m.setting.bands) {
        Value item = Value::object();
        item.set("hz", b.frequencyHz);
        item.set("value", b.value);
        bands.push(std::move(item));
    }
    v.set("bands", std::move(bands));
    return v;
}

Value describe(const wire::EqualizerPresetsMessage& m) {
    Value v = Value::object();
    Value names = Value::array();
    for (size_t i = 0; i < m.names.size(); ++i) {
        Value item = Value::object();
        item.set("index", unsigned(i));
        item.set("name", m.names[i]);
        names.push(std::move(item));
    }
    v.set("count", unsigned(m.names.size()));
    v.set("presets", std::move(names));
    return v;
}

Value describe(const wire::SleepTimerMessage& m) {
    Value v = Value::object();
    v.set("enabled", m.enabled);
    v.set("mode", m.mode == 0 ? "at time" : "end of list");
    static const char* actions[] = {"stop", "stop and power off", "stop and sleep"};
    v.set("action", m.action <= 2 ? actions[m.action] : "unknown");
    v.set("secondsLeft", m.seconds);
    return v;
}

Value describe(const wire::TrackTextMessage& m) {
    Value v = Value::object();
    v.set("ok", m.ok);
    v.set("text", m.text);
    v.set("key", hexKey(m.key));
    return v;
}

Value describe(const wire::CoverMessage& m) {
    Value v = Value::object();
    v.set("album", m.album);
    v.set("artist", m.artist);
    v.set("bytes", unsigned(m.image.size()));
    v.set("tag1", m.tag1);
    v.set("tag2", m.tag2);
    v.set("tag3", m.tag3);
    return v;
}

Value describe(const wire::TrackCoverMessage& m) {
    Value v = Value::object();
    v.set("bytes", unsigned(m.image.size()));
    v.set("key", hexKey(m.key));
    return v;
}

namespace {

// Fills "out" with the fields of whichever codec visitMessage decoded.
struct Describer {
    Value& out;
    // Messages with a describe() overload: the name first, then its fields.
    template <class M> void merge(const M& m) {
        start(m);
        out.append(describe(m));
    }

    void operator()(const wire::HelloMessage& m) {
        start(m);
        out.set("version", m.version);
        out.set("passwordRequired", m.passwordRequired != 0);
    }
    void operator()(const wire::LoginResultMessage& m) {
        start(m);
        out.set("accepted", m.accepted != 0);
    }
    void operator()(const wire::CurrentIndexMessage& m) {
        start(m);
        out.set("index", m.index);
    }
    void operator()(const wire::CapabilitiesMessage& m) {
        start(m);
        char hex[24];
        std::snprintf(hex, sizeof hex, "0x%016llx", (unsigned long long)m.mask);
        out.set("mask", hex);
    }
    void operator()(const wire::PlaylistChangedMessage& m) {
        start(m);
        out.set("playlist", m.playlistId);
    }
    void operator()(const wire::ServerNoticeMessage& m) {
        start(m);
        out.set("reason", m.reason);
        out.set("meaning", noticeReasonName(m.reason));
    }
    void operator()(const wire::UpdateNoticeMessage& m) {
        start(m);
        out.set("text", m.text);
    }
    void operator()(const wire::CompressedMessage& m) {
        // Normally opened by the client before it gets here.
        start(m);
        out.set("innerType", m.innerType);
        out.set("uncompressedLength", m.uncompressedLength);
    }
    void operator()(const wire::NowPlayingChangedMessage& m) { start(m); }
    void operator()(const wire::TrackCoverNoneMessage& m) { start(m); }
    void operator()(const wire::PlaylistsChangedMessage& m) { start(m); }
    void operator()(const wire::KeepaliveMessage& m) { start(m); }

    void operator()(const wire::TrackInfoMessage& m) { merge(m); }
    void operator()(const wire::PlayerStatusMessage& m) { merge(m); }
    void operator()(const wire::NowPlayingListMessage& m) { merge(m); }
    void operator()(const wire::PlaylistsMessage& m) { merge(m); }
    void operator()(const wire::PlaylistsExMessage& m) { merge(m); }
    void operator()(const wire::PlaylistTracksMessage& m) { merge(m); }
    void operator()(const wire::PlaylistDetailsMessage& m) { merge(m); }
    void operator()(const wire::LibraryListMessage& m) { merge(m); }
    void operator()(const wire::SearchResultsMessage& m) { merge(m); }
    void operator()(const wire::EqualizerMessage& m) { merge(m); }
    void operator()(const wire::EqualizerPresetsMessage& m) { merge(m); }
    void operator()(const wire::SleepTimerMessage& m) { merge(m); }
    void operator()(const wire::TrackTextMessage& m) { merge(m); }
    void operator()(const wire::CoverMessage& m) { merge(m); }
    void operator()(const wire::TrackCoverMessage& m) { merge(m); }

    template <class M> void start(const M&) {
        out = Value::object();
        out.set("message", M::kName);
    }
};

} // namespace

Value describeMessage(const wire::ReceivedMessage& message) {
    Value out;
    Describer describer{out};
    if (wire::visitMessage(message.type, message.payload.data(), message.payload.size(),
                           wire::Direction::ServerToClient, describer))
        return out;
    out = Value::object();
    const char* name = wire::messageName(message.type);
    out.set("message", name != nullptr ? name : "unknown");
    out.set("type", message.type);
    if (name != nullptr && wire::isSentBy(message.type, wire::Direction::ServerToClient))
        out.set("malformed", true);
    return out;
}

} // namespace remote
