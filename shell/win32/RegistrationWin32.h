// What registration needs of Windows itself: the thread's locale, the registration script from
// the module's REGISTRY resource, the module's path as the script's MODULE, and the type library
// from the module's TYPELIB resource.
#pragma once

#include "shell/Registration.h"

#include <string>

namespace shell {

class Win32ComRegistration final : public ComRegistration {
public:
    explicit Win32ComRegistration(std::u16string modulePath) : modulePath_(std::move(modulePath)) {}

    uint32_t threadLocale() override;
    void setThreadLocale(uint32_t locale) override;
    std::optional<std::string> registrationScript() override;
    RegistrarReplacements moduleReplacements() override;
    int32_t registerTypeLibrary() override;
    int32_t unregisterTypeLibrary() override;

private:
    std::u16string modulePath_;
};

} // namespace shell
