#include "shell/win32/MessageBoxes.h"

#include "bridge/win32/BoxIcon.h"

#include <string>

namespace shell {

void Win32MessageBoxes::show(std::u16string_view text, std::u16string_view title,
                             std::string_view /*reason*/, bridge::BoxIcon icon) {
    const std::u16string body(text), caption(title);
    MessageBoxW(owner_ ? owner_() : nullptr, reinterpret_cast<const wchar_t*>(body.c_str()),
                reinterpret_cast<const wchar_t*>(caption.c_str()),
                MB_OK | bridge::messageBoxIconFlag(icon));
}

} // namespace shell
