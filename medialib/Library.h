// The player's library model, shared by every player backend: tracks with their fields, and
// stored playlists. Fields are reached by name (as searches and the field-by-name call name
// them) through one table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace medialib {

struct Track {
    int32_t key = 0; // the player's file key, unique and positive
    std::u16string path;
    std::u16string name;
    std::u16string artist;
    std::u16string album;
    std::u16string albumArtist; // as tagged; may be empty
    std::u16string composer;
    std::u16string genre;
    std::u16string comment; // the file's text property
    std::u16string mediaType = u"Audio";
    int32_t durationSeconds = 0;
    int32_t trackNumber = 0;
    int32_t discNumber = 0;
    int32_t year = 0;
    int32_t rating = 0; // 0 unrated, 1..5
    int32_t playCount = 0;
    int32_t bitrate = 0;  // bits per second
    int32_t albumId = -1; // the cover's album, -1 none
};

// Playlist "Type" values as the player reports them.
enum class PlaylistType : int32_t { Ordinary = 0, Smart = 1, Group = 2 };

struct PlaylistData {
    int32_t id = 0;
    std::u16string name;
    std::u16string path; // the group path, e.g. "Parties\Summer"
    PlaylistType type = PlaylistType::Ordinary;
    std::vector<int32_t> keys; // ordinary playlists
    std::u16string expression; // smart playlists: a search expression
};

struct LibraryData {
    std::vector<Track> tracks;
    std::vector<PlaylistData> playlists;
    std::vector<int32_t> playingNow; // initial playing-now list (file keys)
};

// --- fields ------------------------------------------------------------------------------------

enum class FieldKind { Text, Number };

struct FieldInfo {
    const char16_t* name; // as displayed, e.g. "Album Artist (auto)"
    FieldKind kind;
    // Text fields: the text. Number fields: the value (0 reads as empty text).
    std::u16string_view (*text)(const Track&);
    int32_t (*number)(const Track&);
};

// The field with this name, compared case-insensitively and ignoring spaces ("numberplays"
// finds "Number Plays", "track #" finds "Track #"); null when unknown.
const FieldInfo* findField(std::u16string_view name);

// A field's value as text: numbers in decimal, zero as empty.
std::u16string fieldText(const FieldInfo& field, const Track& track);

// "Album Artist (auto)": the album artist, or the artist when that is empty.
inline std::u16string_view autoAlbumArtist(const Track& t) {
    return t.albumArtist.empty() ? std::u16string_view(t.artist)
                                 : std::u16string_view(t.albumArtist);
}

} // namespace medialib
