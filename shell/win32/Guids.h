// The plug-in's interfaces and identifiers as widl generates them from TandravoleLib.idl
// (ITandravoleCtrl, CLSID_TandravoleCtrl, LIBID_TandravoleLib, IID_ITandravoleCtrl).
#pragma once

#include <TandravoleLib.h>

namespace shell {

// The type library's version as registered and loaded.
constexpr unsigned short kTypeLibMajor = 1;
constexpr unsigned short kTypeLibMinor = 0;

} // namespace shell
