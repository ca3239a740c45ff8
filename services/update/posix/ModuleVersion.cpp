// The module's version on POSIX: the project's version, handed in by the build as
// TANDRAVOLE_FILE_VERSION ("major.minor.patch.tweak"), read like a FileVersion string.
#include "services/update/UpdateCheck.h"

namespace services::update {

uint32_t GetModuleFileVersion() {
    return PackFileVersion(u"" TANDRAVOLE_FILE_VERSION);
}

} // namespace services::update
