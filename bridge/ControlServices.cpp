#include "bridge/ControlServices.h"

#include "common/Log.h"
#include "common/Utf.h"

namespace bridge {

void MessageBoxes::show(std::u16string_view text, std::u16string_view title,
                        std::string_view reason, BoxIcon /*icon*/) {
    logLazy(LogKind::Error, [&] {
        std::string line = utf16ToUtf8(title) + ": " + utf16ToUtf8(text);
        if (!reason.empty())
            line += " (" + std::string(reason) + ")";
        return line;
    });
}

bool PowerActionService::start(uint32_t action) {
    logLazy(LogKind::Session,
            [&] { return "power action " + std::to_string(action) + " (not carried out here)"; });
    return true;
}

} // namespace bridge
