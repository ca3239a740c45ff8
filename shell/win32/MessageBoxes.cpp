#include "shell/win32/MessageBoxes.h"

#include <string>

namespace shell {

UINT boxIconFlag(bridge::BoxIcon icon) {
    switch (icon) {
    case bridge::BoxIcon::Information:
        return MB_ICONINFORMATION;
    case bridge::BoxIcon::Warning:
        return MB_ICONWARNING;
    case bridge::BoxIcon::Error:
        return MB_ICONERROR;
    case bridge::BoxIcon::None:
        break;
    }
    return 0;
}

void Win32MessageBoxes::show(std::u16string_view text, std::u16string_view title,
                             std::string_view /*reason*/, bridge::BoxIcon icon) {
    const std::u16string body(text), caption(title);
    MessageBoxW(owner_ ? owner_() : nullptr, reinterpret_cast<const wchar_t*>(body.c_str()),
                reinterpret_cast<const wchar_t*>(caption.c_str()), MB_OK | boxIconFlag(icon));
}

} // namespace shell
