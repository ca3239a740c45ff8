// The plug-in's boxes: MessageBoxW with an OK button, the text, title and icon exactly as
// given, owned by the window its owner function names at the moment the box is shown (the
// control's own window, else its in-place site's, else none). The system's reason of a
// failure is not shown: the player's user gets the plug-in's own words.
#pragma once

#include "bridge/ControlServices.h"

#include <windows.h>

#include <functional>

namespace shell {

class Win32MessageBoxes final : public bridge::MessageBoxes {
public:
    explicit Win32MessageBoxes(std::function<HWND()> owner) : owner_(std::move(owner)) {}
    void show(std::u16string_view text, std::u16string_view title, std::string_view reason,
              bridge::BoxIcon icon) override;

private:
    std::function<HWND()> owner_;
};

} // namespace shell
