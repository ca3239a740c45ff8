#include "mpdhost/Mapping.h"

#include "common/Murmur3.h"
#include "common/Utf.h"

#include <charconv>

namespace mpdhost {

using mpdclient::PlayState;

int32_t naturalKey(std::string_view text) {
    int32_t key = int32_t(murmur3_x86_32(text) & 0x7FFFFFFFu);
    return key == 0 ? 1 : key;
}

int32_t KeyTable::keyFor(const std::string& text) {
    if (auto it = byText_.find(text); it != byText_.end())
        return it->second;
    int32_t key = naturalKey(text);
    while (byKey_.count(key))
        key = key == INT32_MAX ? 1 : key + 1;
    byText_.emplace(text, key);
    byKey_.emplace(key, text);
    return key;
}

const int32_t* KeyTable::find(const std::string& text) const {
    auto it = byText_.find(text);
    return it == byText_.end() ? nullptr : &it->second;
}

const std::string* KeyTable::textOf(int32_t key) const {
    auto it = byKey_.find(key);
    return it == byKey_.end() ? nullptr : &it->second;
}

namespace {

// The whole number a tag starts with ("3/12" gives 3, "2001-05-12" gives 2001); 0 if none.
int32_t leadingNumber(std::string_view text) {
    int32_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    return ec == std::errc() && n > 0 ? n : 0;
}

std::string_view fileTitle(std::string_view uri) {
    if (size_t slash = uri.rfind('/'); slash != std::string_view::npos)
        uri.remove_prefix(slash + 1);
    if (size_t dot = uri.rfind('.'); dot != std::string_view::npos && dot > 0)
        uri.remove_suffix(uri.size() - dot);
    return uri;
}

} // namespace

medialib::Track trackFromSong(const mpdclient::SongInfo& song, int32_t key) {
    medialib::Track t;
    t.key = key;
    t.path = utf8ToUtf16(song.uri);
    t.name = utf8ToUtf16(song.title.empty() ? fileTitle(song.uri) : std::string_view(song.title));
    t.artist = utf8ToUtf16(song.artist);
    t.album = utf8ToUtf16(song.album);
    // Untagged, the album artist is the artist, as a well-kept library tags it: the artist
    // list (which also lists album artists) has no empty name.
    t.albumArtist = utf8ToUtf16(song.albumArtist.empty() ? song.artist : song.albumArtist);
    t.composer = utf8ToUtf16(song.composer);
    t.genre = utf8ToUtf16(song.genre);
    t.comment = utf8ToUtf16(song.comment);
    t.durationSeconds = int32_t(song.durationMs / 1000);
    t.trackNumber = leadingNumber(song.track);
    t.discNumber = leadingNumber(song.disc);
    t.year = leadingNumber(song.date);
    return t;
}

StatusChange compareStatus(const mpdclient::StatusInfo& before, const mpdclient::StatusInfo& after,
                           uint64_t elapsedSinceMs, uint32_t endSlackMs) {
    StatusChange c;
    c.state = before.state != after.state;
    c.track = before.songId != after.songId || before.songPos != after.songPos;
    c.volume = before.volume != after.volume;
    c.status = !(before == after);
    if (before.state == PlayState::Playing && before.durationMs > 0 &&
        (before.songId != after.songId || after.state == PlayState::Stopped)) {
        uint64_t reached = uint64_t(before.elapsedMs) + elapsedSinceMs;
        c.playedToEnd = reached + endSlackMs >= before.durationMs;
    }
    return c;
}

int32_t ratingFromSticker(std::string_view text) {
    int32_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0 || n > 5)
        return 0;
    return n;
}

int32_t countFromSticker(std::string_view text) {
    int32_t n = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < 0)
        return 0;
    return n;
}

} // namespace mpdhost
