// Image files on Windows: the UTF-16 path is opened as a wide path, so any name the host
// gives can be read.
#include "library/ImageFile.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace library {

bool readImageFile(const std::u16string& path, std::vector<uint8_t>& bytes) {
    if (path.empty())
        return false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"rb"), &std::fclose);
    if (!file || _fseeki64(file.get(), 0, SEEK_END) != 0)
        return false;
    long long size = _ftelli64(file.get());
    if (size < 0 || _fseeki64(file.get(), 0, SEEK_SET) != 0)
        return false;
    std::vector<uint8_t> data;
    try {
        data.resize(size_t(size));
    } catch (const std::exception&) { // bad_alloc, or a size no vector can hold
        return false;
    }
    if (std::fread(data.data(), 1, data.size(), file.get()) != data.size())
        return false;
    bytes = std::move(data);
    return true;
}

} // namespace library
