#include "library/LibraryQueries.h"

#include "common/Utf.h"
#include "library/HostCalls.h"
#include "library/NameCollation.h"
#include "library/SelectionDetail.h"

#include <map>
#include <memory>
#include <set>

namespace library {

using host::FileOp;
using host::HostObject;
using host::HostObjectPtr;

namespace {

using detail::fileAt;
using detail::fileCount;
using detail::fileInt;
using detail::fileText;
using detail::search;

const std::u16string kAudioOnly = u" [Media Type]=[Audio]";

std::string utf8(const std::u16string& text) {
    return utf16ToUtf8(text);
}

// The artist an album entry shows: the album artist, else the artist.
AlbumEntry<std::string> albumEntry(HostObject* file, std::u16string title) {
    AlbumEntry<std::string> e;
    e.title = utf8(title);
    e.artist = utf8(detail::albumArtistOf(file));
    e.number = uint16_t(fileInt(file, FileOp::TrackNumber));
    return e;
}

TrackEntry<std::string> trackEntry(HostObject* file) {
    TrackEntry<std::string> e;
    e.artist = utf8(fileText(file, FileOp::Artist));
    e.name = utf8(fileText(file, FileOp::Name));
    e.album = utf8(fileText(file, FileOp::Album));
    e.durationSeconds = uint32_t(fileInt(file, FileOp::Duration));
    e.number11 = uint16_t(fileInt(file, FileOp::IntProperty11));
    e.trackNumber = uint16_t(fileInt(file, FileOp::TrackNumber));
    e.rating = uint8_t(fileInt(file, FileOp::Rating));
    return e;
}

// Every name of both artist searches, once each, in name order.
std::unique_ptr<WinampMediaLibraryListBase> artistList(HostObject* root) {
    NameCollator collator;
    std::set<std::u16string, NameLess> names(NameLess{&collator});
    auto collect = [&](const std::u16string& expression, FileOp field) {
        HostObjectPtr files = search(root, expression);
        int32_t n = fileCount(files.get());
        for (int32_t i = 0; i < n; ++i)
            names.insert(fileText(fileAt(files.get(), i).get(), field)); // equal names: kept once
    };
    collect(u"~nodup=[Artist]" + kAudioOnly + u" -[Artist]=[]", FileOp::Artist);
    collect(u"~nodup=[Album Artist (auto)]" + kAudioOnly + u" -[Album Artist (auto)]=[]",
            FileOp::AlbumArtist);
    auto list = std::make_unique<LibraryStringList>(LIST_KIND_ARTISTS);
    list->entries.reserve(names.size());
    for (const std::u16string& name : names)
        list->add(utf8(name));
    return list;
}

// Genres (0), composers (2) and albums (6), one entry per file of a sorted distinct search.
std::unique_ptr<WinampMediaLibraryListBase> fieldList(HostObject* root, uint32_t kind) {
    const std::u16string field = kind == 0 ? u"Genre" : kind == 2 ? u"Composer" : u"Album";
    std::u16string expression = u"~sort=[" + field + u"] ~nodup=[" + field + u"]";
    if (kind == 6)
        expression += u",[Album Artist (auto)]";
    expression += kAudioOnly + u" -[" + field + u"]=[]";

    HostObjectPtr files = search(root, expression);
    int32_t n = fileCount(files.get());
    if (kind == 6) {
        auto albums = std::make_unique<LibraryAlbumList>();
        albums->entries.reserve(size_t(n));
        for (int32_t i = 0; i < n; ++i) {
            HostObjectPtr file = fileAt(files.get(), i);
            albums->add(albumEntry(file.get(), fileText(file.get(), FileOp::Album)));
        }
        return albums;
    }
    auto strings = std::make_unique<LibraryStringList>(int32_t(kind));
    strings->entries.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i) {
        HostObjectPtr file = fileAt(files.get(), i);
        strings->add(utf8(kind == 0
                              ? fileText(file.get(), FileOp::Genre)
                              : detail::textOf(file.get(), FileOp::FieldByName, {u"Composer"})));
    }
    return strings;
}

// A selection of n files read into the list of its kind.
std::unique_ptr<WinampMediaLibraryListBase> readSelection(HostObject* files, int32_t n,
                                                          int32_t kind) {
    if (kind == SELECTION_ALBUMS) {
        auto albums = std::make_unique<LibraryAlbumList>();
        albums->entries.reserve(size_t(n));
        bool fileWithoutAlbum = false;
        for (int32_t i = 0; i < n; ++i) {
            HostObjectPtr file = fileAt(files, i);
            std::u16string title = fileText(file.get(), FileOp::Album);
            if (title.empty())
                fileWithoutAlbum = true;
            else
                albums->add(albumEntry(file.get(), std::move(title)));
        }
        if (fileWithoutAlbum && !albums->entries.empty())
            albums->add(
                {utf8(std::u16string(otherTracksMarker)), albums->entries.front().artist, 0});
        return albums;
    }
    if (kind == SELECTION_TRACKS) {
        auto tracks = std::make_unique<LibraryTrackList>();
        tracks->entries.reserve(size_t(n));
        for (int32_t i = 0; i < n; ++i)
            tracks->add(trackEntry(fileAt(files, i).get()));
        return tracks;
    }
    auto artists = std::make_unique<LibraryStringList>(kind);
    artists->entries.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i)
        artists->add(utf8(fileText(fileAt(files, i).get(), FileOp::Artist)));
    return artists;
}

// The search result when it holds a file, else null.
HostObjectPtr nonEmpty(HostObjectPtr files) {
    return fileCount(files.get()) > 0 ? files : nullptr;
}

} // namespace

std::u16string escapeSearchValue(std::u16string_view value) {
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        if (c == u'"' || c == u'/' || c == u'[' || c == u']' || c == u'{' || c == u'}')
            out += u'/';
        out += c;
    }
    return out;
}

std::u16string artistClause(std::u16string_view artist) {
    const std::u16string a = escapeSearchValue(artist);
    return u" [Album Artist (auto)]=[" + a + u"] or [Artist]=[" + a + u"] ";
}

namespace detail {

HostObjectPtr selectFiles(HostObject* root, const std::u16string& genre,
                          const std::u16string& artist, const std::u16string& album,
                          const std::u16string& composer, int32_t& kind, bool distinct,
                          bool noAlbum) {
    if (genre.empty() && artist.empty() && album.empty() && composer.empty())
        return nullptr;
    const std::u16string g = escapeSearchValue(genre);
    const std::u16string a = escapeSearchValue(artist);
    const std::u16string c = escapeSearchValue(composer);
    const std::u16string genreClause = genre.empty() ? u"" : u" [Genre]=[" + g + u"]";
    std::u16string expression;

    if (album.empty() && !noAlbum) {
        if (artist.empty() && composer.empty()) {
            // Only a genre: its artists.
            kind = SELECTION_ARTISTS;
            if (distinct)
                return distinctArtistFiles(root, u"[Genre]=[" + g + u"]");
            expression = u"~sort=[Album Artist (auto)] [Genre]=[" + g + u"]" + kAudioOnly;
        } else {
            // An artist or a composer: the albums.
            kind = SELECTION_ALBUMS;
            expression = u"~sort=[Album]";
            expression += !artist.empty() ? artistClause(artist) : u" [Composer]=[" + c + u"]";
            expression += genreClause + u" -[Album]=[]" + kAudioOnly;
            if (distinct)
                expression += u" ~nodup=[Album]";
            if (HostObjectPtr files = nonEmpty(search(root, expression)))
                return files;
        }
    } else {
        // An album, or the tracks without album: the tracks.
        kind = SELECTION_TRACKS;
        expression = u"[Album]=[" + escapeSearchValue(album) + u"]";
        if (!artist.empty())
            expression += u" [Album Artist (auto)]=[" + a + u"]";
        if (!composer.empty())
            expression += u" [Composer]=[" + c + u"]";
        expression += genreClause;
        expression += u" ~sort=[Album],[Disc #],[track #] -[Name]=[]" + kAudioOnly;
        if (HostObjectPtr files = nonEmpty(search(root, expression)))
            return files;
    }

    // The expression once more, then the tracks of the artist, composer or genre.
    if (HostObjectPtr files = nonEmpty(search(root, expression)))
        return files;
    kind = SELECTION_TRACKS;
    expression = !artist.empty()     ? artistClause(artist)
                 : !composer.empty() ? u"[Composer]=[" + c + u"]"
                                     : u"";
    expression += genreClause + u" ~sort=[Disc #],[track #] -[Name]=[]" + kAudioOnly;
    return nonEmpty(search(root, expression));
}

HostObjectPtr distinctArtistFiles(HostObject* root, const std::u16string& expression) {
    HostObjectPtr files = search(root, expression);
    int32_t n = fileCount(files.get());
    NameCollator collator;
    std::map<std::u16string, int32_t, NameLess> firstKey(NameLess{&collator});
    for (int32_t i = 0; i < n; ++i) {
        HostObjectPtr file = fileAt(files.get(), i);
        int32_t key = intOf(file.get(), FileOp::Key);
        std::u16string name = fileText(file.get(), FileOp::Artist);
        std::u16string albumArtist = fileText(file.get(), FileOp::AlbumArtist);
        firstKey.emplace(std::move(name), key); // a name already there keeps its first key
        firstKey.emplace(std::move(albumArtist), key);
    }
    HostObjectPtr result = objectOf(root, host::RootOp::NewFiles);
    for (const auto& entry : firstKey)
        callOk(result.get(), host::FilesOp::AppendKey, {entry.second});
    return result;
}

HostObjectPtr albumFile(HostObject* root, const std::u16string& album, const std::u16string& artist,
                        bool byAlbumArtist) {
    if (album.empty())
        return nullptr;
    std::u16string expression = u"[Album]=[" + escapeSearchValue(album) + u"]";
    if (!artist.empty())
        expression += std::u16string(u" and [") +
                      (byAlbumArtist ? u"Album Artist (auto)" : u"Artist") + u"]=[" +
                      escapeSearchValue(artist) + u"]";
    expression += u" ~n=1";
    return search(root, expression);
}

} // namespace detail

bool listLibraryCategory(HostObject* root, uint32_t kind, WinampMediaLibraryListBase*& out) {
    if (kind != 0 && kind != 1 && kind != 2 && kind != 6)
        return false;
    return detail::orOnFailure(false, [&] {
        std::unique_ptr<WinampMediaLibraryListBase> list =
            kind == 1 ? artistList(root) : fieldList(root, kind);
        delete out;
        out = list.release();
        return true;
    });
}

bool queryLibraryList(HostObject* root, uint32_t /*requestId*/, const std::u16string& genre,
                      const std::u16string& artist, const std::u16string& album,
                      const std::u16string& composer, WinampMediaLibraryListBase*& out) {
    return detail::orOnFailure(false, [&] {
        const bool noAlbum = album == otherTracksMarker;
        int32_t kind = 0;
        HostObjectPtr files = detail::selectFiles(root, genre, artist, noAlbum ? u"" : album,
                                                  composer, kind, true, noAlbum);
        int32_t n = files ? fileCount(files.get()) : 0;
        if (n == 0)
            return false;
        std::unique_ptr<WinampMediaLibraryListBase> list = readSelection(files.get(), n, kind);
        delete out;
        out = list.release();
        return true;
    });
}

HostObjectPtr selectLibraryFiles(HostObject* root, const std::u16string& genre,
                                 const std::u16string& artist, const std::u16string& album,
                                 const std::u16string& composer, int32_t& kind, bool distinct,
                                 bool noAlbum) {
    return detail::orOnFailure(HostObjectPtr(), [&] {
        return detail::selectFiles(root, genre, artist, album, composer, kind, distinct, noAlbum);
    });
}

HostObjectPtr filesOfDistinctArtists(HostObject* root, const std::u16string& expression) {
    return detail::orOnFailure(HostObjectPtr(),
                               [&] { return detail::distinctArtistFiles(root, expression); });
}

HostObjectPtr findAlbumFile(HostObject* root, const std::u16string& album,
                            const std::u16string& artist, bool byAlbumArtist) {
    return detail::orOnFailure(
        HostObjectPtr(), [&] { return detail::albumFile(root, album, artist, byAlbumArtist); });
}

} // namespace library
