// A folder of its own under the temporary folder, removed at the end: for tests that write
// files (stored settings, covers, libraries).
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace testing_support {

struct TempFolder {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("tandravole-test-" + std::to_string(std::random_device{}()));
    TempFolder() { std::filesystem::create_directories(path); }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace testing_support
