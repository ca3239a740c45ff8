// A registry of the test's own for the life of the object. POSIX: the seam's store in a file
// of a fresh temporary folder. Windows: HKEY_CLASSES_ROOT, HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE redirected (RegOverridePredefKey) to empty scratch keys below the real
// HKEY_CURRENT_USER, so registration tests never touch the machine's own keys.
#pragma once

#include <memory>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Makes every later change fail; false where that cannot be arranged (Windows).
    bool refuseChanges();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
