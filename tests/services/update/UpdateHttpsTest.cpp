// The version request against a real HTTPS server on 127.0.0.1: https_server.py, which CTest
// starts before these tests and stops after them (a fixture). Each of its ports answers in
// one way; its certificate is self-signed, so the request is told to accept it (on Linux by
// trusting its file, on Windows by accepting an unknown root). Run by hand without the
// fixture, these tests are skipped.
#include "services/update/UpdateCheck.h"

#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

namespace {

class UpdateHttpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(TANDRAVOLE_UPDATE_TEST_SERVER_DIR "/endpoints.txt");
        if (!in)
            GTEST_SKIP() << "no test server (run through ctest, which starts it)";
        for (std::string line; std::getline(in, line);) {
            std::istringstream words(line);
            std::string name, value;
            words >> name >> std::ws;
            std::getline(words, value);
            if (name == "certificate")
                certificate_ = value;
            else
                ports_[name] = uint16_t(std::stoul(value));
        }
        ASSERT_FALSE(certificate_.empty());
    }

    services::update::VersionEndpoint at(const std::string& name, bool trusted = true) {
        EXPECT_TRUE(ports_.count(name)) << name;
        return services::update::VersionEndpoint{"127.0.0.1", ports_[name],
                                                 trusted ? certificate_ : ""};
    }
    // ok, newer and the version text; the outputs come in filled and must come out cleared.
    using Checked = std::tuple<bool, bool, std::string>;
    Checked check(const std::string& name) {
        Checked c{false, true, "stale"};
        std::get<0>(c) =
            services::update::CheckLatestVersion(at(name), std::get<2>(c), std::get<1>(c));
        return c;
    }

    std::map<std::string, uint16_t> ports_;
    std::string certificate_;
};

} // namespace

// Each of the server's ports: what the request reads, and the check that follows. The server's
// versions 9.1.2 and 7.1 are above the module's own, 1.0 below it.
TEST_F(UpdateHttpsTest, EachAnswerOfTheServer) {
    uint32_t local = services::update::GetModuleFileVersion();
    ASSERT_LT(local, 0x07010000u);
    ASSERT_GT(local, 0x01000000u);
    const Checked failed{false, false, ""};
    // The port, what the request reads from it, and the check.
    const std::tuple<const char*, std::optional<std::string>, Checked> cases[] = {
        {"newer", "9.1.2", {true, true, "9.1.2"}},
        {"older", "1.0", {true, false, ""}},
        {"nul", std::string("7.1\0.8.9", 8), {true, true, "7.1"}}, // the text ends at a NUL
        {"exact128", "5.0" + std::string(125, '.'), {true, true, "5.0" + std::string(125, '.')}},
        {"over128", std::nullopt, failed},
        {"empty", std::nullopt, failed},
        // A 302 to the "newer" port, with a body of its own: neither followed nor read.
        {"redirect", std::nullopt, failed},
        {"notfound", "9.0", {true, true, "9.0"}}, // the status is not looked at
        {"plain", std::nullopt, failed},          // the same answer without TLS
        {"refused", std::nullopt, failed},
    };
    for (const auto& [port, fetched, checked] : cases) {
        SCOPED_TRACE(port);
        EXPECT_EQ(services::update::FetchVersionAnswer(at(port)), fetched);
        EXPECT_EQ(check(port), checked);
    }
    // An untrusted certificate fails.
    EXPECT_EQ(services::update::FetchVersionAnswer(at("newer", false)), std::nullopt);
}

TEST_F(UpdateHttpsTest, AServerThatDoesNotAnswerTheConnectionIsGivenUpOnSoon) {
    // The connect time-out is 2.5 s; the systems' own would be a minute or more.
    uint64_t begin = platform::monotonicMs();
    EXPECT_FALSE(std::get<0>(check("stalled")));
    EXPECT_LT(platform::monotonicMs() - begin, 30000u);
}
