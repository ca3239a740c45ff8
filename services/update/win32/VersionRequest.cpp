// The version request with WinHTTP: a synchronous session without proxy, HTTPS on the given
// port, connect time-out 2.5 s, no automatic redirect (an answer that redirects fails with
// ERROR_WINHTTP_REDIRECT_FAILED), the other time-outs WinHTTP's own. The status is not looked
// at; the first block of the body counts when it has 1 to 128 bytes.
#include "services/update/UpdateCheck.h"

#include <windows.h>
#include <winhttp.h>

#include <memory>

namespace services::update {

namespace {

struct HandleClose {
    void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleClose>;

void setDword(HINTERNET handle, DWORD option, DWORD value) {
    WinHttpSetOption(handle, option, &value, sizeof value);
}

std::wstring widen(std::string_view text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

std::optional<std::string> FetchVersionAnswer(const VersionEndpoint& endpoint) {
    if (!WinHttpCheckPlatform())
        return std::nullopt;
    setDword(nullptr, WINHTTP_OPTION_ENABLETRACING, 0);

    Handle session(WinHttpOpen(widen(kUserAgent).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return std::nullopt;
    Handle connection(
        WinHttpConnect(session.get(), widen(endpoint.host).c_str(), endpoint.port, 0));
    if (!connection)
        return std::nullopt;
    Handle request(WinHttpOpenRequest(connection.get(), nullptr, widen(kVersionPath).c_str(),
                                      nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      WINHTTP_FLAG_SECURE));
    if (!request)
        return std::nullopt;
    setDword(request.get(), WINHTTP_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs);
    setDword(request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, 0);
    if (!endpoint.testCertificateFile.empty())
        setDword(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, SECURITY_FLAG_IGNORE_UNKNOWN_CA);

    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return std::nullopt;
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request.get(), &available) || !IsAcceptableAnswerSize(available))
        return std::nullopt;
    // Zeroed, with the string's own terminating NUL one byte beyond: a short read leaves
    // zeros, which end the answer's text.
    std::string body(available, '\0');
    DWORD read = 0;
    if (!WinHttpReadData(request.get(), body.data(), available, &read))
        return std::nullopt;
    return body;
}

} // namespace services::update
