// Host calls as the library requests make them. A request is all or nothing: the calls that
// must succeed come from host/PlayerCalls.h and throw host::PlayerCallFailed; each public
// entry point of library/ catches it (and std::bad_alloc, for an expression or list that
// cannot be allocated) and gives no result, so nothing half-built ever leaves. The
// exception never crosses library/'s interface.
#pragma once

#include "host/HostAutomation.h"
#include "host/PlayerCalls.h"

#include <cstdint>
#include <string>

namespace library::detail {

using host::callOk;
using host::intOf;
using host::intProperty;
using host::objectOf;
using host::textOf;

// File properties; a text property that is no text reads as empty.
inline std::u16string fileText(host::HostObject* file, host::FileOp op) {
    return host::textProperty(file, op);
}
inline int32_t fileInt(host::HostObject* file, host::FileOp op) {
    return host::intProperty(file, op);
}
// The album artist, or the artist when the file has none.
inline std::u16string albumArtistOf(host::HostObject* file) {
    std::u16string name = fileText(file, host::FileOp::AlbumArtist);
    return name.empty() ? fileText(file, host::FileOp::Artist) : name;
}

// The root's search: a files collection for the expression.
host::HostObjectPtr search(host::HostObject* root, const std::u16string& expression);
// A collection's file count (a negative answer counts as none) and its file i.
int32_t fileCount(host::HostObject* files);
host::HostObjectPtr fileAt(host::HostObject* files, int32_t index);

} // namespace library::detail
