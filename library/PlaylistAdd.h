// Adding a library selection (the same genre, artist, album and composer values as a
// drill-down) to the playing-now list or to a stored playlist. Runs on the host's thread.
// library/ cannot reach the protocol engine, so the addition reports the notices to push,
// in the order they must go out, and the caller pushes them.
#pragma once

#include "host/HostAutomation.h"

#include <cstdint>
#include <string>
#include <vector>

namespace library {

// Playlist ids, items and positions as the app sends them.
constexpr int32_t kPlayingNowPlaylist = -1;            // 0xFFFFFFFF: the playing-now list
constexpr uint32_t kAllItems = 0xFFFFFFFF;             // every file of the selection
constexpr uint32_t kPositionAfterCurrent = 0xFFFFFFFF; // after the current entry
constexpr uint32_t kPositionAtEnd = 0xFFFFFFFE;        // at the end of the list

// A position moved on by i, counting like the host's 32-bit integers: wrapping, never
// overflowing.
inline int32_t positionPlus(int32_t position, int32_t i) {
    return int32_t(uint32_t(position) + uint32_t(i));
}

struct PlaylistNotice {
    enum Kind {
        NowPlayingChanged, // MSG_NOW_PLAYING_CHANGED
        PlaylistsChanged,  // MSG_PLAYLISTS_CHANGED
        PlaylistChanged,   // MSG_PLAYLIST_CHANGED for playlistId
    };
    Kind kind;
    int32_t playlistId = 0; // for PlaylistChanged
    bool operator==(const PlaylistNotice&) const = default;
};

// Adds item `item` of the selection (or every file, kAllItems) to the playlist at
// `position`. An album equal to otherTracksMarker adds the tracks without album. Returns the
// notices to push, in order:
//   - playing-now list: NowPlayingChanged, also when nothing was inserted (an item past the
//     end of the selection);
//   - stored playlist: PlaylistsChanged when the host stored the changed files, then always
//     PlaylistChanged with the id (also for an id the host does not know).
// Nothing, and no notice, when all four values are empty, nothing was found, or a host call
// failed.
std::vector<PlaylistNotice>
addLibraryItemsToPlaylist(host::HostObject* root, int32_t playlistId, const std::u16string& genre,
                          const std::u16string& artist, const std::u16string& album,
                          const std::u16string& composer, uint32_t item, uint32_t position);

} // namespace library
