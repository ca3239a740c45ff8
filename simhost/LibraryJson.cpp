#include "simhost/LibraryJson.h"

#include "medialib/Search.h"
#include "platform/Memory.h"
#include "simhost/Json.h"

#include <climits>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

namespace simhost {

using medialib::LibraryData;
using medialib::PlaylistData;
using medialib::PlaylistType;
using medialib::SearchError;
using medialib::SearchQuery;
using medialib::Track;
namespace {

using Type = JsonValue::Type;

std::string narrowName(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

class Loader {
public:
    std::string error;

    bool fail(const JsonValue& at, const std::string& what) {
        JsonError e{at.line, at.column, context_ + what};
        error = e.describe();
        return false;
    }

    // Entries that came without a number get the next free ones above the highest in use, in
    // file order. False (reported) when the numbers run out.
    template <class Entry>
    bool numberTheRest(std::vector<Entry>& entries, const std::vector<bool>& given,
                       int32_t Entry::*number, std::set<int32_t>& used, const JsonValue& array,
                       const char* entryName, const char* numberName) {
        int64_t next = used.empty() ? 1 : int64_t(*used.rbegin()) + 1;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (given[i])
                continue;
            context_ = std::string(entryName) + " " + std::to_string(i + 1) + ": ";
            if (next > INT32_MAX)
                return fail(array.items[i], std::string("no free ") + numberName +
                                                " is left above the highest one");
            entries[i].*number = int32_t(next++);
            used.insert(entries[i].*number);
        }
        return true;
    }

    bool integer(const JsonValue& v, const char* name, int64_t lo, int64_t hi, int64_t& out) {
        if (v.type != Type::Number || v.number != std::floor(v.number) || v.number < double(lo) ||
            v.number > double(hi))
            return fail(v, std::string("\"") + name + "\" must be a whole number from " +
                               std::to_string(lo) + " to " + std::to_string(hi));
        out = int64_t(v.number);
        return true;
    }
    bool text(const JsonValue& v, const char* name, std::u16string& out) {
        if (v.type != Type::String)
            return fail(v, std::string("\"") + name + "\" must be a text");
        out = v.text;
        return true;
    }
    bool keyList(const JsonValue& v, const char* name, std::vector<int32_t>& out) {
        if (v.type != Type::Array)
            return fail(v, std::string("\"") + name + "\" must be a list of track keys");
        for (const auto& item : v.items) {
            int64_t k = 0;
            if (!integer(item, "key", 1, INT32_MAX, k))
                return false;
            if (!keys_.count(int32_t(k)))
                return fail(item, "no track has key " + std::to_string(k));
            out.push_back(int32_t(k));
        }
        return true;
    }

    bool track(const JsonValue& v, size_t index, Track& t, bool& hasKey) {
        context_ = "track " + std::to_string(index + 1) + ": ";
        if (v.type != Type::Object)
            return fail(v, "must be an object");
        bool hasPath = false;
        hasKey = false;
        for (const auto& [name, m] : v.members) {
            int64_t n = 0;
            bool ok = true;
            // Through a plain reference: clang 14 cannot capture a structured binding.
            const std::u16string& memberName = name;
            auto is = [&](const char16_t* s) { return memberName == s; };
            if (is(u"key")) {
                ok = integer(m, "key", 1, INT32_MAX, n);
                t.key = int32_t(n);
                hasKey = true;
            } else if (is(u"path")) {
                ok = text(m, "path", t.path);
                hasPath = true;
            } else if (is(u"name"))
                ok = text(m, "name", t.name);
            else if (is(u"artist"))
                ok = text(m, "artist", t.artist);
            else if (is(u"album"))
                ok = text(m, "album", t.album);
            else if (is(u"albumArtist"))
                ok = text(m, "albumArtist", t.albumArtist);
            else if (is(u"composer"))
                ok = text(m, "composer", t.composer);
            else if (is(u"genre"))
                ok = text(m, "genre", t.genre);
            else if (is(u"comment"))
                ok = text(m, "comment", t.comment);
            else if (is(u"mediaType"))
                ok = text(m, "mediaType", t.mediaType);
            else if (is(u"duration"))
                ok = integer(m, "duration", 0, 86400 * 7, n), t.durationSeconds = int32_t(n);
            else if (is(u"track"))
                ok = integer(m, "track", 0, 65535, n), t.trackNumber = int32_t(n);
            else if (is(u"disc"))
                ok = integer(m, "disc", 0, 999, n), t.discNumber = int32_t(n);
            else if (is(u"year"))
                ok = integer(m, "year", 0, 9999, n), t.year = int32_t(n);
            else if (is(u"rating"))
                ok = integer(m, "rating", 0, 5, n), t.rating = int32_t(n);
            else if (is(u"plays"))
                ok = integer(m, "plays", 0, INT32_MAX, n), t.playCount = int32_t(n);
            else if (is(u"bitrate"))
                ok = integer(m, "bitrate", 0, 100000000, n), t.bitrate = int32_t(n);
            else
                return fail(m, "unknown member \"" + narrowName(name) + "\"");
            if (!ok)
                return false;
        }
        if (!hasPath || t.path.empty())
            return fail(v, "\"path\" is required and must not be empty");
        return true;
    }

    bool playlist(const JsonValue& v, size_t index, PlaylistData& p, bool& hasId) {
        context_ = "playlist " + std::to_string(index + 1) + ": ";
        if (v.type != Type::Object)
            return fail(v, "must be an object");
        hasId = false;
        for (const auto& [name, m] : v.members) {
            int64_t n = 0;
            bool ok = true;
            if (name == u"id") {
                ok = integer(m, "id", 1, INT32_MAX, n);
                p.id = int32_t(n);
                hasId = true;
            } else if (name == u"name")
                ok = text(m, "name", p.name);
            else if (name == u"path")
                ok = text(m, "path", p.path);
            else if (name == u"type") {
                if (m.type == Type::String) {
                    if (m.text == u"ordinary")
                        p.type = PlaylistType::Ordinary;
                    else if (m.text == u"smart")
                        p.type = PlaylistType::Smart;
                    else if (m.text == u"group")
                        p.type = PlaylistType::Group;
                    else
                        return fail(m, "\"type\" must be \"ordinary\", \"smart\" or \"group\"");
                } else {
                    ok = integer(m, "type", 0, 255, n);
                    p.type = PlaylistType(n);
                }
            } else if (name == u"tracks")
                ok = keyList(m, "tracks", p.keys);
            else if (name == u"expression") {
                ok = text(m, "expression", p.expression);
                SearchError e;
                if (ok && !SearchQuery::parse(p.expression, &e))
                    return fail(m, "\"expression\": " + e.describe());
            } else
                return fail(m, "unknown member \"" + narrowName(name) + "\"");
            if (!ok)
                return false;
        }
        if (p.name.empty())
            return fail(v, "\"name\" is required");
        return true;
    }

    std::optional<LibraryData> load(const JsonValue& doc) {
        LibraryData lib;
        if (doc.type != Type::Object)
            return fail(doc, "the document must be an object with \"tracks\""), std::nullopt;
        const JsonValue* tracks = doc.find(u"tracks");
        if (!tracks || tracks->type != Type::Array)
            return fail(doc, "\"tracks\" (a list) is required"), std::nullopt;
        for (const auto& [name, m] : doc.members)
            if (name != u"tracks" && name != u"playlists" && name != u"playingNow")
                return fail(m, "unknown member \"" + narrowName(name) + "\""), std::nullopt;
        std::vector<bool> keyed;
        for (size_t i = 0; i < tracks->items.size(); ++i) {
            Track t;
            bool hasKey = false;
            if (!track(tracks->items[i], i, t, hasKey))
                return std::nullopt;
            if (hasKey && !keys_.insert(t.key).second)
                return fail(tracks->items[i], "key " + std::to_string(t.key) + " is used twice"),
                       std::nullopt;
            keyed.push_back(hasKey);
            lib.tracks.push_back(std::move(t));
        }
        if (!numberTheRest(lib.tracks, keyed, &Track::key, keys_, *tracks, "track", "key"))
            return std::nullopt;
        if (const JsonValue* lists = doc.find(u"playlists")) {
            context_.clear();
            if (lists->type != Type::Array)
                return fail(*lists, "\"playlists\" must be a list"), std::nullopt;
            std::set<int32_t> ids;
            std::vector<bool> withId;
            for (size_t i = 0; i < lists->items.size(); ++i) {
                PlaylistData p;
                bool hasId = false;
                if (!playlist(lists->items[i], i, p, hasId))
                    return std::nullopt;
                if (hasId && !ids.insert(p.id).second)
                    return fail(lists->items[i], "id " + std::to_string(p.id) + " is used twice"),
                           std::nullopt;
                withId.push_back(hasId);
                lib.playlists.push_back(std::move(p));
            }
            if (!numberTheRest(lib.playlists, withId, &PlaylistData::id, ids, *lists, "playlist",
                               "id"))
                return std::nullopt;
        }
        if (const JsonValue* now = doc.find(u"playingNow")) {
            context_.clear();
            if (!keyList(*now, "playingNow", lib.playingNow))
                return std::nullopt;
        }
        return lib;
    }

private:
    std::string context_;
    std::set<int32_t> keys_;
};

} // namespace

std::optional<LibraryData> parseLibraryJson(std::string_view utf8, std::string& error) {
    JsonError e;
    auto doc = parseJson(utf8, e);
    if (!doc) {
        error = e.describe();
        return std::nullopt;
    }
    Loader loader;
    auto lib = loader.load(*doc);
    if (!lib)
        error = loader.error;
    return lib;
}

std::optional<LibraryData> loadLibraryJson(const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = "cannot open " + file.string();
        return std::nullopt;
    }
    std::optional<LibraryData> lib;
    {
        std::ostringstream text;
        text << in.rdbuf();
        std::string inner;
        lib = parseLibraryJson(text.view(), inner); // no copy of the whole file
        if (!lib)
            error = file.string() + ": " + inner;
    }
    // The file's text and its parse tree are gone; a large library's would otherwise stay
    // resident as free heap.
    platform::returnFreedMemory();
    return lib;
}

namespace {

void jsonText(std::string& out, std::u16string_view s) {
    static const char* hex = "0123456789abcdef";
    out += '"';
    for (char16_t c : s) {
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += char(c);
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(c >> shift) & 15];
        }
    }
    out += '"';
}

void keyList(std::string& out, const std::vector<int32_t>& keys) {
    out += '[';
    for (size_t i = 0; i < keys.size(); ++i)
        out += (i ? ", " : "") + std::to_string(keys[i]);
    out += ']';
}

} // namespace

std::string libraryToJson(const LibraryData& library) {
    std::string out = "{\n  \"tracks\": [";
    for (size_t i = 0; i < library.tracks.size(); ++i) {
        const Track& t = library.tracks[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"key\": " + std::to_string(t.key) + ", \"path\": ";
        jsonText(out, t.path);
        auto text = [&](const char* name, const std::u16string& v, const char16_t* unless) {
            if (v == unless)
                return;
            out += std::string(", \"") + name + "\": ";
            jsonText(out, v);
        };
        auto number = [&](const char* name, int32_t v) {
            if (v != 0)
                out += std::string(", \"") + name + "\": " + std::to_string(v);
        };
        text("name", t.name, u"");
        text("artist", t.artist, u"");
        text("album", t.album, u"");
        text("albumArtist", t.albumArtist, u"");
        text("composer", t.composer, u"");
        text("genre", t.genre, u"");
        text("comment", t.comment, u"");
        text("mediaType", t.mediaType, u"Audio");
        number("duration", t.durationSeconds);
        number("track", t.trackNumber);
        number("disc", t.discNumber);
        number("year", t.year);
        number("rating", t.rating);
        number("plays", t.playCount);
        number("bitrate", t.bitrate);
        out += '}';
    }
    out += "\n  ],\n  \"playlists\": [";
    for (size_t i = 0; i < library.playlists.size(); ++i) {
        const PlaylistData& p = library.playlists[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"id\": " + std::to_string(p.id) + ", \"name\": ";
        jsonText(out, p.name);
        if (!p.path.empty()) {
            out += ", \"path\": ";
            jsonText(out, p.path);
        }
        out += ", \"type\": " + std::to_string(int32_t(p.type));
        if (!p.keys.empty()) {
            out += ", \"tracks\": ";
            keyList(out, p.keys);
        }
        if (!p.expression.empty()) {
            out += ", \"expression\": ";
            jsonText(out, p.expression);
        }
        out += '}';
    }
    out += "\n  ],\n  \"playingNow\": ";
    keyList(out, library.playingNow);
    out += "\n}\n";
    return out;
}

} // namespace simhost
