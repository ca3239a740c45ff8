// The MessageBoxW icon flag of a box's icon: MB_ICONINFORMATION, MB_ICONWARNING,
// MB_ICONERROR, or no flag. Shared by every Windows box (the plug-in's, the firewall's).
#pragma once

#include "bridge/ControlServices.h"

#include <windows.h>

namespace bridge {

inline UINT messageBoxIconFlag(BoxIcon icon) {
    switch (icon) {
    case BoxIcon::Information:
        return MB_ICONINFORMATION;
    case BoxIcon::Warning:
        return MB_ICONWARNING;
    case BoxIcon::Error:
        return MB_ICONERROR;
    case BoxIcon::None:
        break;
    }
    return 0;
}

} // namespace bridge
