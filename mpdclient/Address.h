// Where an MPD server is: the host (a name, an address or a local socket's path), the port and
// an optional password, read the way MPD's own clients read them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace mpdclient {

constexpr uint16_t kDefaultPort = 6600;

struct Address {
    std::string host = "127.0.0.1";
    uint16_t port = kDefaultPort;
    std::string password; // empty: none

    // "HOST:PORT", or the socket's path; never the password.
    std::string describe() const;
};

// The address of "mpd", "mpd://HOST", "mpd://HOST:PORT" or "mpd://PASSWORD@HOST[:PORT]".
// Without a host in the text, MPD_HOST ("[PASSWORD@]HOST", a host starting with "/" is a
// local socket) and MPD_PORT from the environment are used, then 127.0.0.1:6600. Nothing with
// `error` filled for a text that is not one of these forms.
std::optional<Address> parseAddress(std::string_view text,
                                    const std::function<const char*(const char*)>& getenv,
                                    std::string& error);

} // namespace mpdclient
