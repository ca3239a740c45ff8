// How Winsock error codes become the socket error kinds callers tell apart.
#include "platform/Socket.h"

#include <gtest/gtest.h>

#include <winsock2.h>

TEST(PlatformSocketError, WinsockCodesMapToKindsAndDescriptions) {
    using Kind = platform::SocketErrorKind;
    EXPECT_EQ(platform::socketErrorKind(0), Kind::None);
    EXPECT_EQ(platform::socketErrorKind(WSAEADDRINUSE), Kind::AddressInUse);
    // A reserved port, or one another program holds exclusively.
    EXPECT_EQ(platform::socketErrorKind(WSAEACCES), Kind::PermissionDenied);
    for (int other : {WSAEADDRNOTAVAIL, WSAEMFILE, WSAENOBUFS, WSAECONNREFUSED, WSAEINVAL})
        EXPECT_EQ(platform::socketErrorKind(other), Kind::Other) << other;

    // A description carries the code, the call and the system's text.
    platform::SocketError e = platform::describeSocketError(WSAEACCES, "bind");
    EXPECT_EQ(e.kind, platform::SocketErrorKind::PermissionDenied);
    EXPECT_EQ(e.code, WSAEACCES);
    EXPECT_EQ(e.call, "bind");
    EXPECT_FALSE(e.text.empty());
    EXPECT_NE(e.text.back(), '\n'); // FormatMessage's line break is cut off
    EXPECT_NE(e.text, platform::describeSocketError(WSAEADDRINUSE, "bind").text);
    WSASetLastError(WSAEADDRINUSE);
    platform::SocketError last = platform::lastSocketError("listen");
    EXPECT_EQ(last.kind, platform::SocketErrorKind::AddressInUse);
    EXPECT_EQ(last.code, WSAEADDRINUSE);
}
