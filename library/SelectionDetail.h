// The selections of LibraryQueries.h in their throwing form (HostCalls.h), for the requests
// of library/ that build on them; the public functions wrap these.
#pragma once

#include "host/HostAutomation.h"
#include "library/HostCalls.h"

#include <cstdint>
#include <new>
#include <string>

namespace library::detail {

host::HostObjectPtr selectFiles(host::HostObject* root, const std::u16string& genre,
                                const std::u16string& artist, const std::u16string& album,
                                const std::u16string& composer, int32_t& kind, bool distinct,
                                bool noAlbum);
host::HostObjectPtr distinctArtistFiles(host::HostObject* root, const std::u16string& expression);
host::HostObjectPtr albumFile(host::HostObject* root, const std::u16string& album,
                              const std::u16string& artist, bool byAlbumArtist);

// Runs a request, turning a failed player call and a failed allocation into `failed`.
template <class Result, class Body> Result orOnFailure(Result failed, Body&& body) {
    try {
        return body();
    } catch (const host::PlayerCallFailed&) {
        return failed;
    } catch (const std::bad_alloc&) {
        return failed;
    }
}

} // namespace library::detail
