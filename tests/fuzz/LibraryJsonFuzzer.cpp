// The simulated player's JSON reader and the library loader on top of it.
//
// Input: the document's bytes.
//
// Checked beyond the sanitizers:
// - a document the reader refuses gets an error with a line and a column;
// - a library that loads is saved, and the saved text loads again to a library that saves to
//   the same text (what libraryToJson writes, parseLibraryJson reads back unchanged).
#include "simhost/Json.h"
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

    JsonError jsonError;
    if (!parseJson(text, jsonError)) {
        FUZZ_CHECK(jsonError.line >= 1 && jsonError.column >= 1);
        FUZZ_CHECK(!jsonError.message.empty());
    }

    std::string error;
    auto library = parseLibraryJson(text, error);
    if (!library) {
        FUZZ_CHECK(!error.empty());
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
