// Covers: the key and image of a playing-now entry, and the cover of a library album.
// Host's thread.
#include "bridge/TandravoleCtrl.h"

#include "bridge/TrackKey.h"
#include "host/PlayerCalls.h"
#include "library/AlbumCover.h"
#include "library/ImageFile.h"

using namespace bridge;
using host::FileOp;
using host::HostObjectPtr;
using host::PlayingNowOp;

namespace {

// The image size code for the coverQuality setting: Low 3, Medium 4, High (and anything
// else) 5.
int32_t imageSizeCode(uint32_t coverQuality) {
    switch (coverQuality) {
    case 0:
        return 3;
    case 1:
        return 4;
    default:
        return 5;
    }
}

} // namespace

HostObjectPtr CTandravoleCtrl::playingNowFile(int32_t index) {
    HostObjectPtr now = playingNow();
    int32_t at = index == player::kCurrent ? intProperty(now.get(), PlayingNowOp::Position) : index;
    if (at < 0 || at >= intOf(now.get(), PlayingNowOp::Count))
        return nullptr;
    return objectOf(now.get(), PlayingNowOp::Item, {at});
}

intptr_t CTandravoleCtrl::onCoverKey(int32_t index, TrackKey& key) {
    HostObjectPtr file = playingNowFile(index);
    if (!file)
        return 0;
    key = trackKeyForPath(textProperty(file.get(), FileOp::Path));
    return 1;
}

intptr_t CTandravoleCtrl::onCoverImage(int32_t index, std::vector<uint8_t>& image) {
    HostObjectPtr file = playingNowFile(index);
    if (!file)
        return 0;
    int32_t code = imageSizeCode(settings().coverQuality);
    std::u16string path = needText(host::callMethod(file.get(), FileOp::ImagePath, {code}));
    return library::readImageFile(path, image) ? 1 : 0;
}

intptr_t CTandravoleCtrl::onAlbumCover(const AlbumCoverRecord& record) {
    if (!record.album || !record.artist || !record.image)
        return 0;
    return library::lookupAlbumCover(root_.get(), *record.album, record.size, *record.artist,
                                     *record.image)
               ? 1
               : 0;
}

// --- delegate operations --------------------------------------------------------------------

bool CTandravoleCtrl::getTrackCover(std::vector<uint8_t>& image, int32_t index, TrackKey& key,
                                    int16_t /*unused*/) {
    key = TrackKey{};
    send(wm::kCoverKey, static_cast<uintptr_t>(index), pointer(&key));
    return send(wm::kCoverImage, static_cast<uintptr_t>(index), pointer(&image)) != 0;
}

bool CTandravoleCtrl::getAlbumCover(std::vector<uint8_t>* image, std::string* album,
                                    uint16_t requestedSize, std::string* artist) {
    AlbumCoverRecord record{album, artist, image, requestedSize};
    return send(wm::kAlbumCover, 0, pointer(&record)) != 0;
}
