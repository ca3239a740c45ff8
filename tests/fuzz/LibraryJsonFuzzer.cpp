// The library loader (RapidJSON's reader with the library's own checks) and writer.
//
// Input: the document's bytes.
//
// Checked beyond the sanitizers:
// - a document the loader refuses gets an error with a line and a column;
// - a library that loads is saved, and the saved text loads again to a library that saves to
//   the same text (what libraryToJson writes, parseLibraryJson reads back unchanged).
#include "simhost/LibraryJson.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

using namespace simhost;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::string error;
    auto library = parseLibraryJson(text, error);
    if (!library) {
        size_t line = 0, column = 0;
        FUZZ_CHECK(std::sscanf(error.c_str(), "line %zu, column %zu: ", &line, &column) == 2);
        FUZZ_CHECK(line >= 1 && column >= 1 && column <= size + 1);
        return 0;
    }
    const std::string saved = libraryToJson(*library);
    std::string reloadError;
    auto reloaded = parseLibraryJson(saved, reloadError);
    if (!reloaded)
        std::fprintf(stderr, "saved library does not load: %s\n%s\n", reloadError.c_str(),
                     saved.c_str());
    FUZZ_CHECK(reloaded.has_value());
    FUZZ_CHECK(libraryToJson(*reloaded) == saved);
    return 0;
}
