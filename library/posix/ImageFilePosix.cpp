// Image files on POSIX: the UTF-16 path becomes the UTF-8 bytes the file system
// takes.
#include "library/ImageFile.h"

#include "common/Utf.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace library {

bool readImageFile(const std::u16string& path, std::vector<uint8_t>& bytes) {
    // An empty path (or one that is no valid UTF-16, which converts to empty) opens nothing.
    std::string name = utf16ToUtf8(path);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.c_str(), "rb"),
                                                         &std::fclose);
    // Only a regular file has a size worth reading: a folder opens too, and may claim any.
    struct stat info;
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(info.st_size));
    } catch (const std::exception&) { // bad_alloc, or a size no vector can hold
        return false;
    }
    if (std::fread(data.data(), 1, data.size(), file.get()) != data.size())
        return false;
    bytes = std::move(data);
    return true;
}

} // namespace library
