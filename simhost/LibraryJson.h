// Loading a library from a JSON description (format in simhost/README.md).
#pragma once

#include "medialib/Library.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace simhost {

// The library, or nothing with `error` saying what is wrong and where ("line 4, column 18:
// track 2: "rating" must be a whole number from 0 to 5").
std::optional<medialib::LibraryData> parseLibraryJson(std::string_view utf8, std::string& error);
std::optional<medialib::LibraryData> loadLibraryJson(const std::filesystem::path& file,
                                                     std::string& error);

// The library in the same format, as ASCII (other characters as \u escapes), so that a
// generated library can be saved, edited and loaded again. Members at their defaults are left
// out.
std::string libraryToJson(const medialib::LibraryData& library);

} // namespace simhost
