// The version request with libcurl, under the same rules as the Windows request: HTTPS only,
// no proxy (not even one named in the environment), 2.5 s to connect, the status not looked
// at, a body of 1 to 128 bytes. Redirects are allowed zero times, so an answer that redirects
// fails, as WinHTTP's does with no automatic redirect left. WinHTTP's default receive time-out
// (30 s) becomes a transfer that stops when nothing arrives for 30 s.
#include "services/update/UpdateCheck.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace services::update {

namespace {

constexpr long kReceiveTimeoutSeconds = 30;

// Keeps at most one byte more than an acceptable answer; a longer body ends the transfer.
size_t collect(char* data, size_t size, size_t count, void* target) {
    auto& body = *static_cast<std::string*>(target);
    size_t bytes = size * count;
    if (body.size() + bytes > kMaxAnswerBytes)
        return 0;
    body.append(data, bytes);
    return bytes;
}

struct EasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

} // namespace

std::optional<std::string> FetchVersionAnswer(const VersionEndpoint& endpoint) {
    // Once per process, before any handle; not thread-safe itself.
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, EasyCleanup> curl(curl_easy_init());
    if (!curl)
        return std::nullopt;
    std::string url =
        "https://" + endpoint.host + ":" + std::to_string(endpoint.port) + "/" + kVersionPath;
    std::string body;
    CURL* c = curl.get();
    bool configured =
        curl_easy_setopt(c, CURLOPT_URL, url.c_str()) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_USERAGENT, kUserAgent) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_PROXY, "") == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(kConnectTimeoutMs)) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_MAXREDIRS, 0L) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kReceiveTimeoutSeconds) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collect) == CURLE_OK &&
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &body) == CURLE_OK;
    if (configured && !endpoint.testCertificateFile.empty())
        configured =
            curl_easy_setopt(c, CURLOPT_CAINFO, endpoint.testCertificateFile.c_str()) == CURLE_OK;
    if (!configured || curl_easy_perform(c) != CURLE_OK || !IsAcceptableAnswerSize(body.size()))
        return std::nullopt;
    return body;
}

} // namespace services::update
