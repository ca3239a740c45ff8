// How MPD's world maps onto the player's: songs to tracks of the library model, paths and
// playlist names to the player's integer keys and ids, and MPD's status changes to the
// player's notifications. Plain functions over plain records, so they are tested without MPD.
#pragma once

#include "medialib/Library.h"
#include "mpdclient/Connection.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mpdhost {

// Keys (file keys, playlist ids) that stay the same for the same text across runs: a hash of
// the text, positive, and on a collision the next free number. Texts are assigned in the order
// given; a text keeps its first key.
class KeyTable {
public:
    int32_t keyFor(const std::string& text);
    // Nothing when the text has no key.
    const int32_t* find(const std::string& text) const;
    const std::string* textOf(int32_t key) const;

private:
    std::unordered_map<std::string, int32_t> byText_;
    std::unordered_map<int32_t, std::string> byKey_;
};

// The key a text gets when no other text holds it: MurmurHash3 of the UTF-8 bytes, 31 bits,
// never 0.
int32_t naturalKey(std::string_view text);

// The track of a song: its tags, the year from the date, the number before a "/" of the track
// and disc tags, the title or else the file name without its folder and extension, the album
// artist or else the artist.
medialib::Track trackFromSong(const mpdclient::SongInfo& song, int32_t key);

// What a change of MPD's status means for the player's listeners.
struct StatusChange {
    bool state = false;       // the playback state changed: NOTIFY_PLAYERSTATE_CHANGE
    bool track = false;       // another entry (or none) is current: NOTIFY_TRACK_CHANGE
    bool volume = false;      // NOTIFY_VOLUME_CHANGED
    bool status = false;      // anything the status shows: the status window message
    bool playedToEnd = false; // the entry that was playing reached its end
};

// Compares the status read `elapsedSinceMs` after `before` with `after`. A track counts as
// played to its end when it was playing, another entry (or none) is current now or playback
// stopped, and by the clock it was within the last `endSlackMs` of its length.
StatusChange compareStatus(const mpdclient::StatusInfo& before, const mpdclient::StatusInfo& after,
                           uint64_t elapsedSinceMs, uint32_t endSlackMs = 1500);

// The player's rating (0..5) from a sticker's text; 0 for anything else.
int32_t ratingFromSticker(std::string_view text);
// A whole number from a sticker's text (a play count); 0 for anything else.
int32_t countFromSticker(std::string_view text);

} // namespace mpdhost
