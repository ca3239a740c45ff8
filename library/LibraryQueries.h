// Library browsing over the player's own search: every request builds an expression in the
// player's search language, runs it through the root object's search and reads a few
// properties of each file that comes back. The plug-in never copies the library.
//
// Values from the app arrive here as UTF-16; an empty value means "not given". Every value
// placed inside an expression goes through escapeSearchValue.
//
// Threads: listLibraryCategory and queryLibraryList run on the thread that calls them (the
// message-processing thread) and call the host directly; the others are called on the
// host's thread. None keeps state or takes a lock.
//
// Failures: a host call that fails, a null object where one is needed (no root, a null
// file) or an allocation that fails ends the whole request with no result: false, a null
// files object, and an out-parameter left as it was. A search that finds nothing is not a
// failure: the fallbacks below are taken.
#pragma once

#include "host/HostAutomation.h"
#include "server/wire/WinampMediaLibraryList.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace library {

// The album title standing for the tracks without album: a right-to-left mark and "Other
// tracks" (UTF-8 E2 80 8F 4F 74 68 65 72 20 74 72 61 63 6B 73). The album list ends with it,
// and an album request naming it (the whole text, code unit by code unit) selects the
// tracks that have no album.
inline constexpr std::u16string_view otherTracksMarker = u"\u200FOther tracks";

// The kind of list a selection is read into; the same numbers as the list kinds.
enum SelectionKind : int32_t {
    SELECTION_ARTISTS = LIST_KIND_ARTISTS, // 1
    SELECTION_ALBUMS = LIST_KIND_ALBUMS,   // 6
    SELECTION_TRACKS = LIST_KIND_TRACKS,   // 7
};

// The value with "/" before each of " / [ ] { }, the characters that end or open a value
// in the search language; every other code unit is copied.
std::u16string escapeSearchValue(std::u16string_view value);

// " [Album Artist (auto)]=[a] or [Artist]=[a] " with a the escaped artist (note the blank
// at both ends).
std::u16string artistClause(std::u16string_view artist);

// Top-level lists, by category kind: 0 genres, 1 artists, 2 composers, 6 albums. True with
// a new list in `out` (any list held there is destroyed). Any other kind is refused (false)
// without calling the host. A library without audio gives true and an empty list.
bool listLibraryCategory(host::HostObject* root, uint32_t kind, WinampMediaLibraryListBase*& out);

// Drill-down from a genre, artist, album and/or composer to artists (kind 1), albums (6) or
// tracks (7). True with a new list in `out` (any list held there is destroyed); false when
// nothing was found. The request id is the app's and plays no part.
bool queryLibraryList(host::HostObject* root, uint32_t requestId, const std::u16string& genre,
                      const std::u16string& artist, const std::u16string& album,
                      const std::u16string& composer, WinampMediaLibraryListBase*& out);

// The files a drill-down or an addition stands for, with the kind of list they are read
// into. Null when all four values are empty, when nothing was found even by the fallback,
// or on failure. `distinct` keeps one file per album (or per artist name for a genre);
// `noAlbum` selects the tracks without album.
host::HostObjectPtr selectLibraryFiles(host::HostObject* root, const std::u16string& genre,
                                       const std::u16string& artist, const std::u16string& album,
                                       const std::u16string& composer, int32_t& kind, bool distinct,
                                       bool noAlbum);

// A new files collection holding, in name order (NameCollation.h), the first file that
// carried each distinct artist or album-artist name among the expression's files. Null on
// failure.
host::HostObjectPtr filesOfDistinctArtists(host::HostObject* root,
                                           const std::u16string& expression);

// At most one file of the album, by the album artist or by the artist when one is given.
// Null for an empty album or on failure.
host::HostObjectPtr findAlbumFile(host::HostObject* root, const std::u16string& album,
                                  const std::u16string& artist, bool byAlbumArtist);

} // namespace library
