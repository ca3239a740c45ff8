// The key that identifies a file to the app: the MD5 digest of the file's full path as
// UTF-16LE code units without terminator, after 'a'..'z' became 'A'..'Z' (no other case
// mapping, so the key is the same on every system locale).
#pragma once

#include "server/wire/PlayerRecords.h"

#include <string_view>

namespace bridge {

TrackKey trackKeyForPath(std::u16string_view path);

} // namespace bridge
