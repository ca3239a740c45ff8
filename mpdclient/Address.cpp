#include "mpdclient/Address.h"

#include <charconv>

namespace mpdclient {

namespace {

std::optional<uint16_t> parsePort(std::string_view text) {
    unsigned port = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port == 0 || port > 65535)
        return std::nullopt;
    return uint16_t(port);
}

// "[PASSWORD@]HOST" into the address; a host beginning with "/" is a socket path.
void takeHost(std::string_view text, Address& a) {
    if (size_t at = text.rfind('@'); at != std::string_view::npos && text[0] != '/') {
        a.password = std::string(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    a.host = std::string(text);
}

} // namespace

std::string Address::describe() const {
    if (!host.empty() && host[0] == '/')
        return host;
    if (host.find(':') != std::string::npos) // an IPv6 address
        return "[" + host + "]:" + std::to_string(port);
    return host + ":" + std::to_string(port);
}

std::optional<Address> parseAddress(std::string_view text,
                                    const std::function<const char*(const char*)>& getenv,
                                    std::string& error) {
    Address a;
    if (text == "mpd") {
        const char* host = getenv("MPD_HOST");
        const char* port = getenv("MPD_PORT");
        if (host && *host)
            takeHost(host, a);
        if (port && *port) {
            auto p = parsePort(port);
            if (!p) {
                error = "MPD_PORT must be a port number from 1 to 65535, not \"" +
                        std::string(port) + "\"";
                return std::nullopt;
            }
            a.port = *p;
        }
        return a;
    }
    constexpr std::string_view scheme = "mpd://";
    if (!text.starts_with(scheme)) {
        error = "the player is \"sim\", \"mpd\" or \"mpd://HOST[:PORT]\", not \"" +
                std::string(text) + "\"";
        return std::nullopt;
    }
    text.remove_prefix(scheme.size());
    std::string_view host = text;
    std::optional<std::string_view> port;
    if (size_t open = text.find('['); open != std::string_view::npos) { // [IPv6]:PORT
        size_t close = text.find(']', open);
        if (close == std::string_view::npos) {
            error = "an IPv6 address in brackets lacks its \"]\"";
            return std::nullopt;
        }
        host = text.substr(0, close).substr(0, open);
        std::string_view inside = text.substr(open + 1, close - open - 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') {
            error = "only \":PORT\" may follow the bracketed address";
            return std::nullopt;
        }
        if (!rest.empty())
            port = rest.substr(1);
        takeHost(std::string(host) + std::string(inside), a);
    } else {
        if (size_t colon = text.rfind(':'); colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
        }
        takeHost(host, a);
    }
    if (a.host.empty()) {
        error = "mpd:// needs a host";
        return std::nullopt;
    }
    if (port) {
        auto p = parsePort(*port);
        if (!p) {
            error =
                "the MPD port must be a number from 1 to 65535, not \"" + std::string(*port) + "\"";
            return std::nullopt;
        }
        a.port = *p;
    }
    return a;
}

} // namespace mpdclient
