#include "library/PlaylistAdd.h"

#include "library/HostCalls.h"
#include "library/LibraryQueries.h"
#include "library/SelectionDetail.h"

namespace library {

using host::FileOp;
using host::FilesOp;
using host::HostObject;
using host::HostObjectPtr;

namespace {

using detail::callOk;
using detail::fileAt;
using detail::fileCount;
using detail::intOf;
using detail::objectOf;

int32_t keyOf(HostObject* selection, int32_t index) {
    return intOf(fileAt(selection, index).get(), FileOp::Key);
}

void addToPlayingNow(HostObject* root, HostObject* selection, uint32_t item, uint32_t position) {
    using host::PlayingNowOp;
    HostObjectPtr playingNow = objectOf(root, host::RootOp::PlayingNow);
    int32_t p = int32_t(position);
    if (position == kPositionAtEnd)
        p = -1; // the host's own value for the end of the list
    else if (position == kPositionAfterCurrent)
        p = positionPlus(detail::intProperty(playingNow.get(), PlayingNowOp::Position), 1);
    int32_t count = fileCount(selection);
    if (item != kAllItems) {
        if (item < uint32_t(count))
            callOk(playingNow.get(), PlayingNowOp::Insert, {keyOf(selection, int32_t(item)), p});
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        callOk(playingNow.get(), PlayingNowOp::Insert,
               {keyOf(selection, i), p == -1 ? -1 : positionPlus(p, i)});
}

// The selection's file `index` into the playlist's files: at the end by its key, or as a copy
// at `at`.
void addToFiles(HostObject* files, HostObjectPtr selection, int32_t index, uint32_t position,
                int32_t at) {
    if (position == kPositionAtEnd)
        callOk(files, FilesOp::AppendKey, {keyOf(selection.get(), index)});
    else
        callOk(files, FilesOp::InsertCopy, {selection, index, at});
}

// True when the host stored the changed files.
bool addToStoredPlaylist(HostObject* root, int32_t playlistId, const HostObjectPtr& selection,
                         uint32_t item, uint32_t position) {
    using host::PlaylistOp;
    int32_t count = fileCount(selection.get());
    if (item != kAllItems && item >= uint32_t(count))
        return false;
    HostObjectPtr playlist = callOk(root, host::RootOp::PlaylistById, {playlistId}).asObject();
    if (!playlist)
        return false; // an id the host does not know: nothing to add to
    HostObjectPtr files = objectOf(playlist.get(), PlaylistOp::Files);
    if (item != kAllItems) {
        addToFiles(files.get(), selection, int32_t(item), position, int32_t(position));
    } else {
        for (int32_t i = 0; i < count; ++i)
            addToFiles(files.get(), selection, i, position, positionPlus(int32_t(position), i));
    }
    return callOk(playlist.get(), PlaylistOp::SetFiles, {files}).isTrue();
}

} // namespace

std::vector<PlaylistNotice>
addLibraryItemsToPlaylist(HostObject* root, int32_t playlistId, const std::u16string& genre,
                          const std::u16string& artist, const std::u16string& album,
                          const std::u16string& composer, uint32_t item, uint32_t position) {
    using Notices = std::vector<PlaylistNotice>;
    return detail::orOnFailure(Notices(), [&] {
        const bool noAlbum = album == otherTracksMarker;
        int32_t kind = 0;
        HostObjectPtr selection = detail::selectFiles(root, genre, artist, noAlbum ? u"" : album,
                                                      composer, kind, false, noAlbum);
        if (!selection)
            return Notices();
        if (playlistId == kPlayingNowPlaylist) {
            addToPlayingNow(root, selection.get(), item, position);
            return Notices{{PlaylistNotice::NowPlayingChanged}};
        }
        Notices notices;
        if (addToStoredPlaylist(root, playlistId, selection, item, position))
            notices.push_back({PlaylistNotice::PlaylistsChanged});
        notices.push_back({PlaylistNotice::PlaylistChanged, playlistId});
        return notices;
    });
}

} // namespace library
