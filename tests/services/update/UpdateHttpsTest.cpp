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

    update::VersionEndpoint at(const std::string& name, bool trusted = true) {
        EXPECT_TRUE(ports_.count(name)) << name;
        return update::VersionEndpoint{"127.0.0.1", ports_[name], trusted ? certificate_ : ""};
    }
    std::optional<std::string> fetch(const std::string& name) {
        return update::FetchVersionAnswer(at(name));
    }

    struct Checked {
        bool ok;
        bool newer;
        std::string text;
    };
    Checked check(const std::string& name) {
        Checked c{false, true, "stale"};
        c.ok = update::CheckLatestVersion(at(name), c.text, c.newer);
        return c;
    }

private:
    std::map<std::string, uint16_t> ports_;
    std::string certificate_;
};

} // namespace

TEST_F(UpdateHttpsTest, ANewerVersionOnTheServerIsFound) {
    ASSERT_LT(update::GetModuleFileVersion(), 0x09010200u); // the server says 9.1.2
    Checked c = check("newer");
    EXPECT_TRUE(c.ok);
    EXPECT_TRUE(c.newer);
    EXPECT_EQ(c.text, "9.1.2");
}

TEST_F(UpdateHttpsTest, AnOlderVersionOnTheServerIsNotNewer) {
    ASSERT_GT(update::GetModuleFileVersion(), 0x01000000u); // the server says 1.0
    Checked c = check("older");
    EXPECT_TRUE(c.ok);
    EXPECT_FALSE(c.newer);
    EXPECT_EQ(c.text, "");
}

TEST_F(UpdateHttpsTest, AnAnswerOf128BytesIsReadAnd129BytesAreTooMany) {
    std::optional<std::string> answer = fetch("exact128");
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, "5.0" + std::string(125, '.'));
    EXPECT_EQ(fetch("over128"), std::nullopt);
    Checked c = check("over128");
    EXPECT_FALSE(c.ok);
    EXPECT_FALSE(c.newer);
    EXPECT_EQ(c.text, "");
}

TEST_F(UpdateHttpsTest, AnEmptyAnswerFails) {
    EXPECT_EQ(fetch("empty"), std::nullopt);
    EXPECT_FALSE(check("empty").ok);
}

TEST_F(UpdateHttpsTest, TheVersionTextEndsAtTheFirstNul) {
    EXPECT_EQ(fetch("nul"), std::string("7.1\0.8.9", 8));
    ASSERT_LT(update::GetModuleFileVersion(), 0x07010000u);
    Checked c = check("nul");
    EXPECT_TRUE(c.ok);
    EXPECT_TRUE(c.newer);
    EXPECT_EQ(c.text, "7.1");
}

TEST_F(UpdateHttpsTest, ARedirectFailsAndTheStatusIsNotLookedAt) {
    // A 302 to the "newer" port, with a body of its own: neither followed nor read.
    EXPECT_EQ(fetch("redirect"), std::nullopt);
    EXPECT_FALSE(check("redirect").ok);
    EXPECT_EQ(fetch("notfound"), "9.0"); // a 404's body counts like any other
}

TEST_F(UpdateHttpsTest, OnlyATrustedTlsServerIsAsked) {
    EXPECT_EQ(fetch("plain"), std::nullopt); // the same answer without TLS
    EXPECT_EQ(update::FetchVersionAnswer(at("newer", false)), std::nullopt);
}

TEST_F(UpdateHttpsTest, AServerThatIsNotThereFails) {
    Checked c = check("refused");
    EXPECT_FALSE(c.ok);
    EXPECT_FALSE(c.newer);
}

TEST_F(UpdateHttpsTest, AServerThatDoesNotAnswerTheConnectionIsGivenUpOnSoon) {
    // The connect time-out is 2.5 s; the systems' own would be a minute or more.
    uint64_t begin = platform::monotonicMs();
    EXPECT_FALSE(check("stalled").ok);
    EXPECT_LT(platform::monotonicMs() - begin, 30000u);
}
