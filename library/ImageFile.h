// Reads an image file whole, as the host named it, for a cover reply: the bytes travel as
// they are stored, nothing is decoded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace library {

// Opens the file for binary reading ("rb"), takes its size and reads all of it into bytes.
// False, with bytes left as they were, when the path is empty, the file cannot be opened or
// sized, or fewer bytes than its size could be read. The path is UTF-16 as the host gives it;
// each platform opens it in its own way (wide on Windows, UTF-8 on POSIX).
bool readImageFile(const std::u16string& path, std::vector<uint8_t>& bytes);

} // namespace library
