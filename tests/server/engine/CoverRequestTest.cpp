// MSG_COVER_REQUEST through the engine: decoding, the reply, repeats, and the loader's reset
// when the session connection closes (the pool of loaders is CoverLoaderTest's).
#include "tests/server/engine/EngineFixture.h"

namespace engine_test {
namespace {

CoverRequestMessage coverRequest(const std::string& album, uint32_t tag1 = 1) {
    CoverRequestMessage m;
    m.album = album;
    m.tag1 = tag1;
    m.tag2 = 0x10002;
    m.tag3 = 3;
    m.requestedSize = 200;
    return m;
}

TEST_F(Engine, CoverRequestsAreServedOnceWithTheArtistTheHostGave) {
    fake.edit([](Answers& a) {
        a.albumCovers["Blue"] = {'B', 'l', 'u', 'e'};
        a.albumCovers["Red"] = {'R'};
        a.coverArtist = "Host";
    });
    auto p = connectAndLogin();
    p->send(coverRequest("Blue"));
    ReceivedMessage m = p->next();
    ASSERT_EQ(m.type, uint32_t(MSG_COVER));
    EXPECT_EQ(m.payload, le32(4) + le32(4) + le32(4) + le32(1) + le32(0x10002) + Bytes({3, 0}) +
                             text0("Blue") + text0("Host") + Bytes({'B', 'l', 'u', 'e'}));
    EXPECT_TRUE(fake.called("getAlbumCover(Blue,,200)"));
    // The same request again, and one differing only in tag2 above bit 15: no reply.
    p->send(coverRequest("Blue"));
    CoverRequestMessage high = coverRequest("Blue");
    high.tag2 = 0x70002;
    p->send(high);
    p->send(coverRequest("none")); // no cover: no reply
    // An artist in the request reaches the lookup and comes back as it was.
    CoverRequestMessage red = coverRequest("Red");
    red.hasArtist = true;
    red.artist = "Ann";
    red.requestedSize = 64;
    p->send(red);
    ReceivedMessage reply = p->next();
    ASSERT_EQ(reply.type, uint32_t(MSG_COVER));
    EXPECT_EQ(reply.payload, le32(3) + le32(3) + le32(1) + le32(1) + le32(0x10002) + Bytes({3, 0}) +
                                 text0("Red") + text0("Ann") + Bytes{'R'});
    EXPECT_TRUE(fake.called("getAlbumCover(Red,Ann,64)"));
    // The loaders run side by side: "none" may still be looking while "Red" has replied.
    EXPECT_TRUE(p->within(100).empty());
    EXPECT_TRUE(fake.waitForCount(Op::GetAlbumCover, 3));
    EXPECT_EQ(fake.count(Op::GetAlbumCover), 3u); // the repeated requests were never looked up
    // The end of the session connection forgets the requests seen: the next session is served
    // the same request again.
    p.reset();
    ASSERT_TRUE(sessionEnded());
    p = connectAndLogin();
    p->send(coverRequest("Blue"));
    EXPECT_EQ(p->next().type, uint32_t(MSG_COVER));
}

} // namespace
} // namespace engine_test
