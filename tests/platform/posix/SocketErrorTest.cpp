// How POSIX error codes become the socket error kinds callers tell apart.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <tuple>

TEST(PlatformSocketError, PosixCodesMapToKindsAndDescriptions) {
    using Kind = platform::SocketErrorKind;
    EXPECT_EQ(platform::socketErrorKind(0), Kind::None);
    // A port below 1024 without the privilege gives EACCES (below); some systems' policies EPERM.
    EXPECT_EQ(platform::socketErrorKind(EPERM), Kind::PermissionDenied);
    for (int other : {EADDRNOTAVAIL, EMFILE, ENOBUFS, ECONNREFUSED, EINVAL})
        EXPECT_EQ(platform::socketErrorKind(other), Kind::Other) << other;

    // A description carries the kind, the code, the call and the system's text.
    using Described = std::tuple<Kind, int, std::string, std::string>;
    platform::SocketError e = platform::describeSocketError(EACCES, "bind");
    EXPECT_EQ(Described(e.kind, e.code, e.call, e.text),
              Described(Kind::PermissionDenied, EACCES, "bind", std::strerror(EACCES)));
    errno = EADDRINUSE;
    e = platform::lastSocketError("listen");
    EXPECT_EQ(Described(e.kind, e.code, e.call, e.text),
              Described(Kind::AddressInUse, EADDRINUSE, "listen", std::strerror(EADDRINUSE)));
}
