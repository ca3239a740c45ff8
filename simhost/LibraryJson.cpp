#include "simhost/LibraryJson.h"

#include "medialib/Search.h"
#include "platform/Memory.h"

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <type_traits>
#include <unordered_set>

namespace simhost {

using medialib::LibraryData;
using medialib::PlaylistData;
using medialib::PlaylistType;
using medialib::SearchError;
using medialib::SearchQuery;
using medialib::Track;
namespace {

// Strings arrive as UTF-16, as the library keeps them; the bytes must be valid UTF-8.
using Reader = rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF16<char16_t>>;
constexpr unsigned kParseFlags = rapidjson::kParseValidateEncodingFlag;

std::string narrowName(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

// Where a value starts: a byte offset into the document. Lines and columns are counted only
// for the one offset an error names.
using Offset = size_t;

// Bytes from the start of a document, for turning an offset into a line and a column.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The next byte, or -1 at the end.
    virtual int next() = 0;
};

struct Mistake {
    Offset at = 0;
    bool skipToValue = false; // `at` is the end of the token before: the value starts after it
    std::string message;
};

// "line L, column C: message". Columns count characters (UTF-8 continuation bytes start
// none); with skipToValue the separators and spaces after `at` are passed over first.
std::string describe(ByteSource& source, const Mistake& m) {
    size_t line = 1, column = 1;
    Offset pos = 0;
    int c = 0;
    auto count = [&](int byte) {
        if (byte == '\n') {
            ++line;
            column = 1;
        } else if ((byte & 0xC0) != 0x80) {
            ++column;
        }
    };
    for (; pos < m.at && (c = source.next()) >= 0; ++pos)
        count(c);
    if (m.skipToValue)
        while ((c = source.next()) == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':' ||
               c == ',')
            count(c);
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + m.message;
}

// The document's structure as the reader reports it, filled straight into the library: no
// tree of the whole file is ever built. Any value where the format has none, or of the wrong
// type, stops the reader with a Mistake; checks that need the whole document (track keys
// that playlists name, numbers for entries that came without one) run in finish().
template <class Stream> class Loader {
public:
    explicit Loader(Stream& stream) : stream_(stream) {}

    std::optional<Mistake> mistake;
    LibraryData library;

    // --- the reader's events (rapidjson's handler concept) ----------------------------------
    bool Null() { return scalar(Scalar{}); }
    bool Bool(bool) { return scalar(Scalar{}); }
    bool Int(int v) { return number(double(v)); }
    bool Uint(unsigned v) { return number(double(v)); }
    bool Int64(int64_t v) { return number(double(v)); }
    bool Uint64(uint64_t v) { return number(double(v)); }
    bool Double(double v) { return number(v); }
    bool RawNumber(const char16_t*, rapidjson::SizeType, bool) { return false; } // not asked for
    bool String(const char16_t* s, rapidjson::SizeType n, bool) {
        Scalar v;
        v.isText = true;
        v.text = std::u16string_view(s, n);
        return scalar(v);
    }
    bool Key(const char16_t* s, rapidjson::SizeType n, bool) {
        key_.assign(s, n);
        advance();
        return checkKey();
    }
    bool StartObject() {
        advance();
        const Offset brace = stream_.Tell() - 1;
        if (where_ == Where::Top) {
            where_ = Where::Document;
        } else if (where_ == Where::Tracks) {
            library.tracks.emplace_back();
            startEntry(Where::Track, "track ", library.tracks.size(), brace);
            hasPath_ = false;
        } else if (where_ == Where::Playlists) {
            library.playlists.emplace_back();
            keyOffsets_.emplace_back();
            startEntry(Where::Playlist, "playlist ", library.playlists.size(), brace);
        } else {
            return wrongValue(brace, false);
        }
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        advance();
        if (where_ == Where::Track)
            return endTrack();
        if (where_ == Where::Playlist)
            return endPlaylist();
        where_ = Where::Done; // the document's own
        return true;
    }
    bool StartArray() {
        advance();
        const Offset bracket = stream_.Tell() - 1;
        if (where_ == Where::Document && key_ == u"tracks") {
            sawTracks_ = true;
            where_ = Where::Tracks;
        } else if (where_ == Where::Document && key_ == u"playlists") {
            where_ = Where::Playlists;
        } else if (where_ == Where::Document && key_ == u"playingNow") {
            listOwner_ = where_;
            where_ = Where::KeyList;
            list_ = &library.playingNow;
            listOffsets_ = &playingNowOffsets_;
        } else if (where_ == Where::Playlist && key_ == u"tracks") {
            listOwner_ = where_;
            where_ = Where::KeyList;
            list_ = &library.playlists.back().keys;
            listOffsets_ = &keyOffsets_.back();
        } else {
            return wrongValue(bracket, false);
        }
        return true;
    }
    bool EndArray(rapidjson::SizeType) {
        advance();
        if (where_ == Where::KeyList) {
            where_ = listOwner_;
        } else {
            context_.clear();
            where_ = Where::Document;
        }
        return true;
    }

    // The document at its end: "tracks" given, keys named by lists exist, the rest numbered.
    bool finish() {
        context_.clear();
        if (!sawTracks_)
            return fail(0, "\"tracks\" (a list) is required");
        if (!numberTheRest(library.tracks, &Track::key, unkeyedTracks_, maxKey_, "track", "key"))
            return false;
        for (size_t i = 0; i < library.playlists.size(); ++i) {
            context_ = "playlist " + std::to_string(i + 1) + ": ";
            if (!knownKeys(library.playlists[i].keys, keyOffsets_[i]))
                return false;
        }
        context_.clear();
        return knownKeys(library.playingNow, playingNowOffsets_) &&
               numberTheRest(library.playlists, &PlaylistData::id, unnumberedPlaylists_, maxId_,
                             "playlist", "id");
    }

private:
    enum class Where { Top, Document, Tracks, Track, Playlists, Playlist, KeyList, Done };
    struct Scalar {
        bool isNumber = false, isText = false;
        double number = 0;
        std::u16string_view text;
    };

    Stream& stream_;
    Where where_ = Where::Top;
    std::u16string key_;
    Offset end_ = 0;        // just after the last token the reader reported
    Offset entryStart_ = 0; // the '{' of the track or playlist being read
    bool hasNumber_ = false, hasPath_ = false, sawTracks_ = false;
    std::string context_;
    Where listOwner_ = Where::Document;
    std::vector<int32_t>* list_ = nullptr;
    std::vector<Offset>* listOffsets_ = nullptr;
    std::vector<Offset> playingNowOffsets_;
    std::vector<std::vector<Offset>> keyOffsets_; // of each playlist's "tracks"
    std::unordered_set<int32_t> keys_, ids_;
    int32_t maxKey_ = 0, maxId_ = 0;
    std::vector<std::pair<size_t, Offset>> unkeyedTracks_, unnumberedPlaylists_;

    // The end of the token before this one (a value starts after it), and this one's end.
    Offset advance() {
        Offset before = end_;
        end_ = stream_.Tell();
        return before;
    }
    void startEntry(Where entry, const char* name, size_t number, Offset brace) {
        where_ = entry;
        entryStart_ = brace;
        hasNumber_ = false;
        context_ = name + std::to_string(number) + ": ";
    }
    // `at` is where the value starts, or with skipToValue the end of the token before it.
    bool fail(Offset at, std::string what, bool skipToValue = true) {
        mistake = Mistake{at, skipToValue, context_ + what};
        return false;
    }

    // A value of the wrong kind (a scalar, object or list where the format has another).
    bool wrongValue(Offset at, bool skipToValue) {
        switch (where_) {
        case Where::Top:
            return fail(at, "the document must be an object with \"tracks\"", skipToValue);
        case Where::Tracks:
            context_ = "track " + std::to_string(library.tracks.size() + 1) + ": ";
            return fail(at, "must be an object", skipToValue);
        case Where::Playlists:
            context_ = "playlist " + std::to_string(library.playlists.size() + 1) + ": ";
            return fail(at, "must be an object", skipToValue);
        case Where::KeyList:
            return fail(at, kKeyRange, skipToValue);
        case Where::Document:
            if (key_ == u"tracks")
                return fail(at, "\"tracks\" (a list) is required", skipToValue);
            if (key_ == u"playingNow")
                return fail(at, "\"playingNow\" must be a list of track keys", skipToValue);
            return fail(at, "\"playlists\" must be a list", skipToValue);
        default:
            return fail(at, expected(), skipToValue);
        }
    }
    static constexpr const char* kKeyRange = "\"key\" must be a whole number from 1 to 2147483647";

    // The member names the format knows, checked as soon as the name is read; an unknown one
    // is reported where its value starts.
    bool checkKey() {
        static const std::u16string_view top[] = {u"tracks", u"playlists", u"playingNow"};
        static const std::u16string_view track[] = {
            u"key",      u"path",  u"name",    u"artist",    u"album",    u"albumArtist",
            u"composer", u"genre", u"comment", u"mediaType", u"duration", u"track",
            u"disc",     u"year",  u"rating",  u"plays",     u"bitrate"};
        static const std::u16string_view playlist[] = {u"id",   u"name",   u"path",
                                                       u"type", u"tracks", u"expression"};
        auto known = [this](const auto& names) {
            return std::find(std::begin(names), std::end(names), key_) != std::end(names);
        };
        bool ok = where_ == Where::Document ? known(top)
                  : where_ == Where::Track  ? known(track)
                                            : known(playlist);
        if (!ok)
            return fail(end_, "unknown member \"" + narrowName(key_) + "\"");
        return true;
    }

    // What the current member must hold, as the message for a value that is not that.
    std::string expected() const {
        if (key_ == u"tracks")
            return "\"tracks\" must be a list of track keys";
        if (key_ == u"type")
            return "\"type\" must be \"ordinary\", \"smart\" or \"group\"";
        const std::string name = narrowName(key_);
        if (const auto [lo, hi] = range(); hi > 0)
            return "\"" + name + "\" must be a whole number from " + std::to_string(lo) + " to " +
                   std::to_string(hi);
        return "\"" + name + "\" must be a text";
    }
    // The range of the current numeric member; {0, 0} for a text.
    std::pair<int64_t, int64_t> range() const {
        static const struct {
            const char16_t* name;
            int64_t lo, hi;
        } ranges[] = {{u"key", 1, INT32_MAX}, {u"id", 1, INT32_MAX},    {u"duration", 0, 86400 * 7},
                      {u"track", 0, 65535},   {u"disc", 0, 999},        {u"year", 0, 9999},
                      {u"rating", 0, 5},      {u"plays", 0, INT32_MAX}, {u"bitrate", 0, 100000000},
                      {u"type", 0, 255}};
        for (const auto& r : ranges)
            if (key_ == r.name)
                return {r.lo, r.hi};
        return {0, 0};
    }

    bool number(double v) {
        Scalar s;
        s.isNumber = true;
        s.number = v;
        return scalar(s);
    }

    bool scalar(const Scalar& v) {
        const Offset before = advance();
        auto whole = [&v](int64_t lo, int64_t hi) {
            return v.isNumber && v.number == std::floor(v.number) && v.number >= double(lo) &&
                   v.number <= double(hi);
        };
        if (where_ == Where::KeyList) {
            if (!whole(1, INT32_MAX))
                return fail(before, kKeyRange);
            list_->push_back(int32_t(v.number));
            listOffsets_->push_back(before);
            return true;
        }
        if (where_ != Where::Track && where_ != Where::Playlist)
            return wrongValue(before, true);
        if (key_ == u"type" && v.isText)
            return playlistType(v.text, before);
        const auto [lo, hi] = range();
        if (hi > 0 ? !whole(lo, hi) : (!v.isText || key_ == u"tracks"))
            return fail(before, expected());
        if (where_ == Where::Track)
            return hi > 0 ? trackNumber(int32_t(v.number)) : trackText(v.text);
        return hi > 0 ? playlistNumber(int32_t(v.number)) : playlistText(v.text, before);
    }

    bool trackNumber(int32_t n) {
        static const std::pair<const char16_t*, int32_t Track::*> fields[] = {
            {u"key", &Track::key},           {u"duration", &Track::durationSeconds},
            {u"track", &Track::trackNumber}, {u"disc", &Track::discNumber},
            {u"year", &Track::year},         {u"rating", &Track::rating},
            {u"plays", &Track::playCount},   {u"bitrate", &Track::bitrate}};
        for (const auto& [name, field] : fields)
            if (key_ == name)
                library.tracks.back().*field = n;
        hasNumber_ = hasNumber_ || key_ == u"key";
        return true;
    }
    bool trackText(std::u16string_view text) {
        static const std::pair<const char16_t*, std::u16string Track::*> fields[] = {
            {u"path", &Track::path},
            {u"name", &Track::name},
            {u"artist", &Track::artist},
            {u"album", &Track::album},
            {u"albumArtist", &Track::albumArtist},
            {u"composer", &Track::composer},
            {u"genre", &Track::genre},
            {u"comment", &Track::comment},
            {u"mediaType", &Track::mediaType}};
        for (const auto& [name, field] : fields)
            if (key_ == name)
                library.tracks.back().*field = text;
        hasPath_ = hasPath_ || key_ == u"path";
        return true;
    }
    bool endTrack() {
        const Track& t = library.tracks.back();
        where_ = Where::Tracks;
        if (!hasPath_ || t.path.empty())
            return fail(entryStart_, "\"path\" is required and must not be empty", false);
        return numbered(t.key, keys_, maxKey_, unkeyedTracks_, library.tracks.size(), "key");
    }
    // An entry's number: unique when given, else one to give at the end.
    bool numbered(int32_t number, std::unordered_set<int32_t>& used, int32_t& highest,
                  std::vector<std::pair<size_t, Offset>>& unnumbered, size_t count,
                  const char* what) {
        if (!hasNumber_) {
            unnumbered.emplace_back(count - 1, entryStart_);
            return true;
        }
        if (!used.insert(number).second)
            return fail(entryStart_,
                        std::string(what) + " " + std::to_string(number) + " is used twice", false);
        highest = std::max(highest, number);
        return true;
    }

    bool playlistNumber(int32_t n) {
        PlaylistData& p = library.playlists.back();
        if (key_ == u"id") {
            p.id = n;
            hasNumber_ = true;
        } else {
            p.type = PlaylistType(n);
        }
        return true;
    }
    bool playlistType(std::u16string_view text, Offset before) {
        static const std::pair<const char16_t*, PlaylistType> types[] = {
            {u"ordinary", PlaylistType::Ordinary},
            {u"smart", PlaylistType::Smart},
            {u"group", PlaylistType::Group}};
        for (const auto& [name, type] : types)
            if (text == name) {
                library.playlists.back().type = type;
                return true;
            }
        return fail(before, expected());
    }
    bool playlistText(std::u16string_view text, Offset before) {
        PlaylistData& p = library.playlists.back();
        if (key_ == u"name") {
            p.name = text;
        } else if (key_ == u"path") {
            p.path = text;
        } else {
            p.expression = text;
            SearchError e;
            if (!SearchQuery::parse(p.expression, &e))
                return fail(before, "\"expression\": " + e.describe());
        }
        return true;
    }
    bool endPlaylist() {
        const PlaylistData& p = library.playlists.back();
        where_ = Where::Playlists;
        if (p.name.empty())
            return fail(entryStart_, "\"name\" is required", false);
        return numbered(p.id, ids_, maxId_, unnumberedPlaylists_, library.playlists.size(), "id");
    }

    bool knownKeys(const std::vector<int32_t>& list, const std::vector<Offset>& offsets) {
        for (size_t i = 0; i < list.size(); ++i)
            if (!keys_.count(list[i]))
                return fail(offsets[i], "no track has key " + std::to_string(list[i]));
        return true;
    }

    // Entries that came without a number get the next free ones above the highest in use, in
    // file order.
    template <class Entry>
    bool numberTheRest(std::vector<Entry>& entries, int32_t Entry::*number,
                       const std::vector<std::pair<size_t, Offset>>& unnumbered, int32_t highest,
                       const char* entryName, const char* numberName) {
        int64_t next = int64_t(highest) + 1;
        for (const auto& [index, at] : unnumbered) {
            context_ = std::string(entryName) + " " + std::to_string(index + 1) + ": ";
            if (next > INT32_MAX)
                return fail(at,
                            std::string("no free ") + numberName + " is left above the highest one",
                            false);
            entries[index].*number = int32_t(next++);
            if constexpr (std::is_same_v<Entry, Track>)
                keys_.insert(entries[index].key); // lists may name it
        }
        return true;
    }
};

// Runs the reader over a stream; `rewind` gives the document's bytes again from the start for
// the one error message.
template <class Stream>
std::optional<LibraryData> load(Stream& stream, size_t size,
                                const std::function<std::unique_ptr<ByteSource>()>& rewind,
                                std::string& error) {
    Loader<Stream> loader(stream);
    Reader reader;
    rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, loader);
    std::optional<Mistake> mistake = loader.mistake;
    if (!mistake && result.IsError())
        mistake = Mistake{result.Offset(), false, rapidjson::GetParseError_En(result.Code())};
    // A NUL byte ends the reader's input early; what follows it is text after the document.
    if (!mistake && stream.Tell() < size)
        mistake = Mistake{stream.Tell(), false, "unexpected text after the end of the document"};
    if (!mistake && !loader.finish())
        mistake = loader.mistake;
    if (mistake) {
        error = describe(*rewind(), *mistake);
        return std::nullopt;
    }
    return std::move(loader.library);
}

class TextBytes final : public ByteSource {
public:
    explicit TextBytes(std::string_view text) : text_(text) {}
    int next() override { return pos_ < text_.size() ? (unsigned char)text_[pos_++] : -1; }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

class FileBytes final : public ByteSource {
public:
    explicit FileBytes(const std::filesystem::path& file) : in_(file, std::ios::binary) {}
    int next() override { return in_.get(); } // EOF is -1

private:
    std::ifstream in_;
};

// A file as the reader's input stream, through a buffer of 64 KiB: the file's text is never
// held whole. (rapidjson's FileReadStream takes a FILE*, which cannot open every path on
// Windows.)
class BufferedFileStream {
public:
    using Ch = char;
    explicit BufferedFileStream(std::ifstream& in) : in_(in) { fill(); }
    Ch Peek() const { return pos_ < size_ ? buffer_[pos_] : '\0'; }
    Ch Take() {
        const Ch c = Peek();
        if (pos_ < size_ && ++pos_ == size_)
            fill();
        return c;
    }
    size_t Tell() const { return done_ + pos_; }
    // Writing is not for an input stream; the reader never calls these.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    void fill() {
        done_ += size_;
        in_.read(buffer_.data(), std::streamsize(buffer_.size()));
        size_ = size_t(in_.gcount());
        pos_ = 0;
    }
    std::ifstream& in_;
    std::array<char, 65536> buffer_{};
    size_t size_ = 0, pos_ = 0, done_ = 0;
};

} // namespace

std::optional<LibraryData> parseLibraryJson(std::string_view utf8, std::string& error) {
    rapidjson::MemoryStream stream(utf8.data(), utf8.size());
    return load(
        stream, utf8.size(), [utf8] { return std::make_unique<TextBytes>(utf8); }, error);
}

std::optional<LibraryData> loadLibraryJson(const std::filesystem::path& file, std::string& error) {
    std::error_code ec;
    std::ifstream in(file, std::ios::binary);
    const auto size = std::filesystem::file_size(file, ec);
    if (!in || ec) {
        error = "cannot open " + file.string();
        return std::nullopt;
    }
    auto stream = std::make_unique<BufferedFileStream>(in);
    std::string inner;
    auto lib = load(
        *stream, size_t(size), [&file] { return std::make_unique<FileBytes>(file); }, inner);
    if (!lib)
        error = file.string() + ": " + inner;
    platform::returnFreedMemory();
    return lib;
}

namespace {

// ASCII out: other characters become \u escapes (surrogate pairs beyond the first plane).
using AsciiWriter =
    rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF16<char16_t>, rapidjson::ASCII<>>;

void put(rapidjson::StringBuffer& out, std::string_view text) {
    for (char c : text)
        out.Put(c);
}

// The writer gives up at a surrogate without its pair and would leave the file ending mid
// string. The library can hold one (a file's lone \u escape, an app's encoded surrogate), so
// such a unit is saved as U+FFFD, the replacement character, and the rest of the text is kept.
size_t loneSurrogateAt(std::u16string_view text, size_t from) {
    for (size_t i = from; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (high || (text[i] >= 0xDC00 && text[i] <= 0xDFFF))
            return i;
    }
    return std::u16string_view::npos;
}

void text(AsciiWriter& w, const char16_t* name, const std::u16string& value) {
    w.Key(name);
    size_t at = loneSurrogateAt(value, 0);
    if (at == std::u16string_view::npos) {
        w.String(value.data(), rapidjson::SizeType(value.size()));
        return;
    }
    std::u16string clean = value;
    for (; at != std::u16string_view::npos; at = loneSurrogateAt(clean, at + 1))
        clean[at] = u'\uFFFD';
    w.String(clean.data(), rapidjson::SizeType(clean.size()));
}

void keyList(AsciiWriter& w, const char16_t* name, const std::vector<int32_t>& keys) {
    w.Key(name);
    w.StartArray();
    for (int32_t k : keys)
        w.Int(k);
    w.EndArray();
}

// One entry on a line of its own: a writer per entry into the shared buffer, so the library
// does every escape and number while the layout stays a track per line.
template <class Write> void entries(rapidjson::StringBuffer& out, size_t count, Write write) {
    for (size_t i = 0; i < count; ++i) {
        put(out, i ? ",\n    " : "\n    ");
        AsciiWriter w(out);
        w.StartObject();
        write(w, i);
        w.EndObject();
    }
}

} // namespace

std::string libraryToJson(const LibraryData& library) {
    rapidjson::StringBuffer out;
    put(out, "{\n  \"tracks\": [");
    entries(out, library.tracks.size(), [&](AsciiWriter& w, size_t i) {
        const Track& t = library.tracks[i];
        w.Key(u"key");
        w.Int(t.key);
        text(w, u"path", t.path);
        auto maybeText = [&](const char16_t* name, const std::u16string& v,
                             const char16_t* unless) {
            if (v != unless)
                text(w, name, v);
        };
        auto number = [&](const char16_t* name, int32_t v) {
            if (v != 0) {
                w.Key(name);
                w.Int(v);
            }
        };
        maybeText(u"name", t.name, u"");
        maybeText(u"artist", t.artist, u"");
        maybeText(u"album", t.album, u"");
        maybeText(u"albumArtist", t.albumArtist, u"");
        maybeText(u"composer", t.composer, u"");
        maybeText(u"genre", t.genre, u"");
        maybeText(u"comment", t.comment, u"");
        maybeText(u"mediaType", t.mediaType, u"Audio");
        number(u"duration", t.durationSeconds);
        number(u"track", t.trackNumber);
        number(u"disc", t.discNumber);
        number(u"year", t.year);
        number(u"rating", t.rating);
        number(u"plays", t.playCount);
        number(u"bitrate", t.bitrate);
    });
    put(out, "\n  ],\n  \"playlists\": [");
    entries(out, library.playlists.size(), [&](AsciiWriter& w, size_t i) {
        const PlaylistData& p = library.playlists[i];
        w.Key(u"id");
        w.Int(p.id);
        text(w, u"name", p.name);
        if (!p.path.empty())
            text(w, u"path", p.path);
        w.Key(u"type");
        w.Int(int32_t(p.type));
        if (!p.keys.empty())
            keyList(w, u"tracks", p.keys);
        if (!p.expression.empty())
            text(w, u"expression", p.expression);
    });
    put(out, "\n  ],\n  \"playingNow\": ");
    {
        AsciiWriter w(out);
        w.StartArray();
        for (int32_t k : library.playingNow)
            w.Int(k);
        w.EndArray();
    }
    put(out, "\n}\n");
    return std::string(out.GetString(), out.GetSize());
}

} // namespace simhost
