// Image files on POSIX: the UTF-16 path becomes the UTF-8 bytes the file system takes.
#include "library/ImageFile.h"

#include "common/Utf.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <sys/types.h>

namespace library {

bool readImageFile(const std::u16string& path, std::vector<uint8_t>& bytes) {
    std::string name = utf16ToUtf8(path);
    if (name.empty())
        return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(name.c_str(), "rb"),
                                                         &std::fclose);
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0)
        return false;
    off_t size = ftello(file.get());
    if (size < 0 || fseeko(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(size));
    } catch (const std::exception&) { // a size no vector can hold (a folder may claim one)
        return false;
    }
    if (std::fread(data.data(), 1, data.size(), file.get()) != data.size())
        return false;
    bytes = std::move(data);
    return true;
}

} // namespace library
