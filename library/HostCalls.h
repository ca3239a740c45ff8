// Host calls as the library requests make them. A request is all or nothing: a call that
// fails, or a null object where an object is needed, throws HostCallFailed; each public
// entry point of library/ catches it (and std::bad_alloc, for an expression or list that
// cannot be allocated) and gives no result, so nothing half-built ever leaves. The
// exception never crosses library/'s interface.
#pragma once

#include "host/HostAutomation.h"

#include <cstdint>
#include <initializer_list>
#include <string>

namespace library::detail {

struct HostCallFailed {};

// The result of a method that must succeed; its value may still be empty or a null object.
template <class Op>
host::HostResult mustCall(host::HostObject* object, Op op,
                          std::initializer_list<host::HostValue> args = {}) {
    host::HostResult r = host::callMethod(object, op, args);
    if (!r.ok())
        throw HostCallFailed{};
    return r;
}

// A method that returns an object, which must not be null.
template <class Op>
host::HostObjectPtr mustObject(host::HostObject* object, Op op,
                               std::initializer_list<host::HostValue> args = {}) {
    host::HostObjectPtr result = mustCall(object, op, args).asObject();
    if (!result)
        throw HostCallFailed{};
    return result;
}

// A method that returns a whole number.
template <class Op>
int32_t mustInt(host::HostObject* object, Op op, std::initializer_list<host::HostValue> args = {}) {
    auto value = mustCall(object, op, args).asInt();
    if (!value)
        throw HostCallFailed{};
    return *value;
}

// A text method; a result that is no text (a null string) reads as empty.
template <class Op>
std::u16string mustText(host::HostObject* object, Op op,
                        std::initializer_list<host::HostValue> args = {}) {
    return mustCall(object, op, args).text();
}

// A property that must be readable, and one that must be a whole number.
template <class Op> host::HostResult mustGet(host::HostObject* object, Op op) {
    host::HostResult r = host::getProperty(object, op);
    if (!r.ok())
        throw HostCallFailed{};
    return r;
}
template <class Op> int32_t mustGetInt(host::HostObject* object, Op op) {
    auto value = mustGet(object, op).asInt();
    if (!value)
        throw HostCallFailed{};
    return *value;
}

// File properties; a text property that is no text reads as empty.
inline std::u16string fileText(host::HostObject* file, host::FileOp op) {
    return mustGet(file, op).text();
}
inline int32_t fileInt(host::HostObject* file, host::FileOp op) {
    return mustGetInt(file, op);
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
