// The registry store's file reader: any bytes as the store's file. A file it refuses says why;
// a file it reads is written back as the store writes it, and that text must read back and
// write out again unchanged, so a save after a load neither loses nor alters a key or value.
#include "platform/posix/RegistryStoreFormat.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::store_file;
    KeyMap keys;
    std::string why;
    if (!parseStore(std::string_view(reinterpret_cast<const char*>(data), size), keys, why)) {
        FUZZ_CHECK(!why.empty());
        return 0;
    }
    const std::string text = serialise(keys);
    // Parent keys are written out one by one, so a deep path may not fit any more.
    if (text.size() > kMaxStoreSize)
        return 0;
    KeyMap again;
    FUZZ_CHECK(parseStore(text, again, why));
    FUZZ_CHECK(again.size() == keys.size());
    FUZZ_CHECK(serialise(again) == text);
    return 0;
}
