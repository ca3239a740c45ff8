// How POSIX error codes become the socket error kinds callers tell apart.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

TEST(PlatformSocketError, PosixCodesMapToKindsAndDescriptions) {
    using Kind = platform::SocketErrorKind;
    EXPECT_EQ(platform::socketErrorKind(0), Kind::None);
    EXPECT_EQ(platform::socketErrorKind(EADDRINUSE), Kind::AddressInUse);
    // A port below 1024 without the privilege gives EACCES; some systems' policies EPERM.
    EXPECT_EQ(platform::socketErrorKind(EACCES), Kind::PermissionDenied);
    EXPECT_EQ(platform::socketErrorKind(EPERM), Kind::PermissionDenied);
    for (int other : {EADDRNOTAVAIL, EMFILE, ENOBUFS, ECONNREFUSED, EINVAL})
        EXPECT_EQ(platform::socketErrorKind(other), Kind::Other) << other;

    // A description carries the code, the call and the system's text.
    platform::SocketError e = platform::describeSocketError(EACCES, "bind");
    EXPECT_EQ(e.kind, platform::SocketErrorKind::PermissionDenied);
    EXPECT_EQ(e.code, EACCES);
    EXPECT_EQ(e.call, "bind");
    EXPECT_EQ(e.text, std::strerror(EACCES));
    errno = EADDRINUSE;
    platform::SocketError last = platform::lastSocketError("listen");
    EXPECT_EQ(last.kind, platform::SocketErrorKind::AddressInUse);
    EXPECT_EQ(last.text, std::strerror(EADDRINUSE));
}
