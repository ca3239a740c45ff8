// The update check's pieces below its thread: the module's own file version packed into one
// number, the question to the product's web site and the reading of its answer, and the texts
// of the boxes that report the outcome.
//
// The web site is asked over HTTPS, GET "version_check.php?type=mediacenter" on port 443, and
// answers with a version text of two to four numbers ("1.7.5"). Its host is the one the update
// notice to the app names (bridge::kProductWebSite); the boxes name it as an https address.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace services::update {

// The request on the web site, and the largest answer that is read.
inline constexpr char kVersionPath[] = "version_check.php?type=mediacenter";
inline constexpr uint16_t kHttpsPort = 443;
inline constexpr char kUserAgent[] = "Tandravole";
inline constexpr uint32_t kConnectTimeoutMs = 2500;
inline constexpr std::size_t kMaxAnswerBytes = 128;

// Box titles and texts.
inline constexpr char16_t kPeriodicTitle[] = u"Tandravole Update Check";
inline constexpr char16_t kCheckFailedText[] =
    u"Update check failed, please make sure you are connected to the internet";
inline constexpr char16_t kLatestVersionText[] = u"You are using the latest version of Tandravole";

// Where the version is asked for. The product always asks productEndpoint(); only tests name
// another host and port, with the certificate of their own server: on Linux the file it is
// trusted from, on Windows (where WinHTTP trusts only the system's store) any non-empty text
// makes the request accept a server whose root is unknown.
struct VersionEndpoint {
    std::string host;
    uint16_t port = kHttpsPort;
    std::string testCertificateFile; // empty in the product: the system's trust only
};
VersionEndpoint productEndpoint();

// The web site's address as the boxes show it: "https://" and the host.
std::u16string webSiteAddress();

// A FileVersion text packed into one number, major in the highest byte: the text is split at
// ',' into its non-empty pieces, or, when that gives one piece, at '.'; unless there are
// exactly four, the result is 0. Each piece is read as a signed 32-bit decimal number (leading
// white space skipped, a sign allowed, anything after the digits ignored, no digits = 0,
// beyond the 32-bit range clamped to it) and its low 8 bits are packed.
uint32_t PackFileVersion(std::u16string_view fileVersion);

// The StringFileInfo block name of a translation: language then code page, each as four
// lower-case hexadecimal digits ("040904b0").
std::u16string TranslationKey(uint16_t language, uint16_t codePage);

// The running module's own file version, packed (0 when it cannot be read). Windows: the
// FileVersion string of the version resource of the module that holds this code. Elsewhere:
// the project's version, compiled in.
uint32_t GetModuleFileVersion();

// An answer's body counts only when it has 1 to kMaxAnswerBytes bytes.
bool IsAcceptableAnswerSize(std::size_t bytes);

// The version in an answer: the bytes up to the first NUL split at '.' into their non-empty
// pieces; fewer than 2 or more than 4 pieces give nothing. Missing pieces are 0; each piece is
// an unsigned 16-bit decimal number (leading white space skipped, anything after the digits
// ignored; no digits, a minus sign or a value above 65535 give 0).
std::optional<std::array<uint16_t, 4>> ParseVersionAnswer(std::string_view answer);

// Whether `remote` is greater than the packed local version, major first.
bool IsNewer(const std::array<uint16_t, 4>& remote, uint32_t localVersion);

// Reads an answer body against the local version. Both outputs are cleared first; false when
// the answer is no version. When the remote version is newer, `newer` is set and
// `versionText` is the answer's text (the bytes up to the first NUL).
bool EvaluateAnswer(std::string_view answer, uint32_t localVersion, std::string& versionText,
                    bool& newer);

// The body of the answer to GET kVersionPath over HTTPS at `endpoint`, direct (never through
// a proxy), connect time-out kConnectTimeoutMs, the status not looked at; nothing when the
// request fails, the answer redirects (no redirect is allowed) or the body is not of an
// acceptable size. Blocking. Windows: WinHTTP; elsewhere: libcurl.
std::optional<std::string> FetchVersionAnswer(const VersionEndpoint& endpoint);

// Asks the product's web site whether a newer version than GetModuleFileVersion() exists:
// true when the question was answered with a version; `newer` and `versionText` as in
// EvaluateAnswer. Blocking, on the caller's thread.
bool CheckLatestVersion(std::string& versionText, bool& newer);
// The same against another endpoint (tests only).
bool CheckLatestVersion(const VersionEndpoint& endpoint, std::string& versionText, bool& newer);

// "A new version (<version>) is available for download at <address>", the version text
// widened byte by byte (each byte one UTF-16 unit of the same value, 0..255).
std::u16string NewVersionText(std::string_view versionText);

} // namespace services::update
