// The word search with its cached result, adding search results to a list, the rule fills of
// the playing-now list, and the library operations (browsing on the caller's thread, adding a
// selection on the host's thread).
#include "bridge/TandravoleCtrl.h"

#include "common/Utf.h"
#include "host/PlayerCalls.h"
#include "library/LibraryQueries.h"
#include "library/PlaylistAdd.h"

#include <algorithm>
#include <memory>

using namespace bridge;
using host::FileOp;
using host::FilesOp;
using host::HostObjectPtr;
using host::PlayingNowOp;
using host::PlaylistOp;
using host::RootOp;

namespace {

constexpr char16_t kAudioOnly[] = u" [Media Type]=[Audio]";

// One word matches the album, the artist, the genre or the name.
std::u16string wordExpression(const std::u16string& word) {
    std::u16string w = library::escapeSearchValue(word);
    return u"[Album]=\"" + w + u"\" or [Artist]=\"" + w + u"\" or [Genre]=\"" + w +
           u"\" or [Name]=\"" + w + u"\"" + kAudioOnly;
}

std::vector<std::u16string> searchWords(const std::u16string& text) {
    std::vector<std::u16string> words;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u' ', start);
        if (end == std::u16string::npos)
            end = text.size();
        if (end > start)
            words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::sort(words.begin(), words.end());
    return words;
}

std::u16string decimal(int32_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace

void CTandravoleCtrl::releaseSearchResult() {
    searchResult_.reset();
    searchId_ = 0;
}

intptr_t CTandravoleCtrl::onSearch(const SearchRecord& record, LibraryTrackList*& list) {
    std::vector<std::u16string> words = searchWords(record.text);
    if (words.empty())
        return 0;
    HostObjectPtr files = objectOf(root_.get(), RootOp::Search, {wordExpression(words[0])});
    searchResult_ = files;
    searchId_ = record.searchId;
    for (size_t i = 1; i < words.size(); ++i)
        run(files.get(), FilesOp::Narrow, {wordExpression(words[i])});

    auto tracks = std::make_unique<LibraryTrackList>();
    int32_t count = intOf(files.get(), FilesOp::Count);
    for (int32_t i = 0; i < count; ++i) {
        HostObjectPtr file = objectOf(files.get(), FilesOp::Item, {i});
        TrackEntry<std::string> entry;
        entry.artist = utf16ToUtf8(textProperty(file.get(), FileOp::Artist));
        entry.name = utf16ToUtf8(textProperty(file.get(), FileOp::Name));
        entry.album = utf16ToUtf8(textProperty(file.get(), FileOp::Album));
        entry.durationSeconds = static_cast<uint32_t>(intProperty(file.get(), FileOp::Duration));
        entry.trackNumber = static_cast<uint16_t>(intProperty(file.get(), FileOp::TrackNumber));
        entry.rating = static_cast<uint8_t>(intProperty(file.get(), FileOp::Rating));
        tracks->add(std::move(entry));
    }
    delete list;
    list = tracks.release();
    return 1;
}

void CTandravoleCtrl::onAddSearchResults(const AddSearchResultsRecord& record) {
    if (!searchResult_ || record.searchId != searchId_)
        return;
    host::HostObject* cached = searchResult_.get();
    const int32_t count = intOf(cached, FilesOp::Count);
    // Every file, one file, or (an item past the end) none; the notices go out in any case.
    const bool all = record.item == player::kAllItems;
    const bool one = !all && record.item >= 0 && record.item < count;
    const int32_t first = one ? record.item : 0;
    const int32_t last = all ? count : one ? record.item + 1 : 0;

    if (record.playlistId == player::kNowPlaying) {
        HostObjectPtr now = playingNow();
        int32_t position = record.position;
        if (position == player::kAtEnd)
            position = -1;
        else if (position == player::kAfterCurrent)
            position = library::positionPlus(intProperty(now.get(), PlayingNowOp::Position), 1);
        for (int32_t i = first; i < last; ++i) {
            int32_t key = intOf(objectOf(cached, FilesOp::Item, {i}).get(), FileOp::Key);
            int32_t at = (position == -1 || !all) ? position : library::positionPlus(position, i);
            run(now.get(), PlayingNowOp::Insert, {key, at});
        }
        server_->sendListChanged(player::kNowPlayingU);
        return;
    }

    HostObjectPtr playlist = playlistById(record.playlistId);
    if (playlist) {
        HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
        for (int32_t i = first; i < last; ++i) {
            if (record.position == player::kAtEnd) {
                int32_t key = intOf(objectOf(cached, FilesOp::Item, {i}).get(), FileOp::Key);
                run(files.get(), FilesOp::AppendKey, {key});
            } else {
                int32_t at = all ? library::positionPlus(record.position, i) : record.position;
                run(files.get(), FilesOp::InsertCopy, {searchResult_, i, at});
            }
        }
        if (host::callMethod(playlist.get(), PlaylistOp::SetFiles, {files}).isTrue())
            server_->sendPlaylistsChanged();
    }
    server_->sendListChanged(static_cast<uint32_t>(record.playlistId));
}

void CTandravoleCtrl::onFillFromRule(uint8_t kind, uint8_t rating, bool orHigher) {
    std::u16string expression;
    if (kind == player::FILL_BY_RATING && !orHigher)
        expression = u"[rating]=" + decimal(rating) + kAudioOnly;
    else if (kind == player::FILL_BY_RATING)
        expression = u"[rating]=>" + decimal(int32_t(rating) - 1) + kAudioOnly;
    else if (kind == player::FILL_NEVER_PLAYED)
        expression = std::u16string(u"[numberplays]=[] or numberplays=0") + kAudioOnly;

    HostObjectPtr files = objectOf(root_.get(), RootOp::Search, {expression});
    HostObjectPtr now = playingNow();
    run(now.get(), PlayingNowOp::Clear);
    int32_t count = intOf(files.get(), FilesOp::Count);
    for (int32_t i = 0; i < count; ++i) {
        int32_t key = intOf(objectOf(files.get(), FilesOp::Item, {i}).get(), FileOp::Key);
        run(now.get(), PlayingNowOp::Insert, {key, -1});
    }
    server_->sendListChanged(player::kNowPlayingU);
}

void CTandravoleCtrl::onAddLibraryItems(const LibrarySelectionRecord& record) {
    std::vector<library::PlaylistNotice> notices = library::addLibraryItemsToPlaylist(
        root_.get(), record.playlistId, *record.genre, *record.artist, *record.album,
        *record.composer, record.item, record.position);
    for (const library::PlaylistNotice& notice : notices) {
        switch (notice.kind) {
        case library::PlaylistNotice::NowPlayingChanged:
            server_->sendListChanged(player::kNowPlayingU);
            break;
        case library::PlaylistNotice::PlaylistsChanged:
            server_->sendPlaylistsChanged();
            break;
        case library::PlaylistNotice::PlaylistChanged:
            server_->sendListChanged(static_cast<uint32_t>(notice.playlistId));
            break;
        }
    }
}

// --- delegate operations of the library, on the caller's thread ---------------------------

bool CTandravoleCtrl::queryLibraryList(uint32_t requestId, const std::u16string& genre,
                                       const std::u16string& artist, const std::u16string& album,
                                       const std::u16string& composer,
                                       WinampMediaLibraryListBase*& list) {
    if (tearingDown_ || !root_)
        return false;
    return library::queryLibraryList(root_.get(), requestId, genre, artist, album, composer, list);
}

bool CTandravoleCtrl::listLibraryCategory(uint32_t kind, WinampMediaLibraryListBase*& list) {
    if (tearingDown_ || !root_)
        return false;
    return library::listLibraryCategory(root_.get(), kind, list);
}

void CTandravoleCtrl::addLibraryItemsToPlaylist(int32_t playlistId, const std::u16string& genre,
                                                const std::u16string& artist,
                                                const std::u16string& album,
                                                const std::u16string& composer, uint32_t item,
                                                uint32_t position) {
    LibrarySelectionRecord record{playlistId, &genre, &artist, &album, &composer, item, position};
    send(wm::kAddLibraryItems, 0, pointer(&record));
}

bool CTandravoleCtrl::searchLibrary(uint32_t searchId, const std::u16string& text,
                                    WinampMediaLibraryListTracks<std::string>*& list) {
    SearchRecord record{searchId, text};
    return send(wm::kSearch, reinterpret_cast<uintptr_t>(&list), pointer(&record)) != 0;
}

void CTandravoleCtrl::addSearchResultsToPlaylist(int32_t playlistId, uint32_t searchId,
                                                 int32_t item, int32_t position) {
    AddSearchResultsRecord record{playlistId, searchId, item, position};
    send(wm::kAddSearchResults, 0, pointer(&record));
}

void CTandravoleCtrl::fillNowPlayingFromFilter(uint8_t kind, uint8_t rating, bool orHigher) {
    send(wm::kFillFromRule, kind, intptr_t(rating) | (orHigher ? kRuleOrHigherBit : 0));
}
