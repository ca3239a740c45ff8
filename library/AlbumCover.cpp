#include "library/AlbumCover.h"

#include "common/Utf.h"
#include "library/HostCalls.h"
#include "library/ImageFile.h"
#include "library/SelectionDetail.h"

namespace library {

using host::FileOp;
using host::HostObjectPtr;

bool lookupAlbumCover(host::HostObject* root, const std::string& album, uint16_t requestedSize,
                      std::string& artist, std::vector<uint8_t>& image) {
    return detail::orOnFailure(false, [&] {
        const std::u16string title = utf8ToUtf16(album);
        const std::u16string name = utf8ToUtf16(artist);
        HostObjectPtr files = detail::albumFile(root, title, name, true);
        if (!files || detail::fileCount(files.get()) == 0)
            files = detail::albumFile(root, title, name, false);
        if (!files || detail::fileCount(files.get()) == 0)
            return false;
        HostObjectPtr file = detail::fileAt(files.get(), 0);
        if (artist.empty())
            artist = utf16ToUtf8(detail::albumArtistOf(file.get()));
        int32_t sizeCode = requestedSize > kSmallImageMaxSize ? kLargeImage : kSmallImage;
        std::u16string path = detail::textOf(file.get(), FileOp::ImagePath, {sizeCode});
        return readImageFile(path, image);
    });
}

} // namespace library
