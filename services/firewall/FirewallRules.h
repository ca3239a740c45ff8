// Firewall rules: the portable logic of the panel's "Add Windows Firewall rules".
// The panel starts an elevated command interpreter (RequestFirewallRules, with the parameters
// built here) that runs the module's exported AddFirewallRules through rundll32; that finds the
// player's executable in its current directory and adds one incoming and one outgoing TCP
// rule for it, and tells the user the outcome in one box. The system calls go through the
// seams of FirewallApi.h; the Windows entry points are in win32/FirewallWin32.h.
#pragma once

#include "services/firewall/FirewallApi.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace services::firewall {

inline constexpr char16_t kApplicationName[] = u"JRiver Media Center";
inline constexpr char16_t kIncomingSuffix[] = u" incoming (Tandravole)";
inline constexpr char16_t kOutgoingSuffix[] = u" outgoing (Tandravole)";
inline constexpr char16_t kIncomingDescription[] =
    u"Allow process to accept incoming TCP connections to allow remote control via Tandravole";
inline constexpr char16_t kOutgoingDescription[] =
    u"Allow process to establish outgoing TCP connections to enable Tandravole update checks";
// The player's executable in the current directory of AddFirewallRules.
inline constexpr char16_t kExecutablePattern[] = u"Media Center ??.exe";

inline constexpr char16_t kBoxTitle[] = u"Tandravole";
inline constexpr char16_t kAddedText[] = u"Firewall rules have been added successfully!";
inline constexpr char16_t kExistText[] = u"Firewall rules already exist";
inline constexpr char16_t kFailedText[] = u"Firewall rules could not be added!";

// NET_FW_PROFILE_TYPE2, NET_FW_ACTION, NET_FW_RULE_DIRECTION, NET_FW_IP_PROTOCOL values.
inline constexpr int32_t kProfilePublic = 4;
inline constexpr int32_t kActionAllow = 1;
inline constexpr int32_t kDirectionIn = 1;
inline constexpr int32_t kDirectionOut = 2;
inline constexpr int32_t kProtocolTcp = 6;

// What happened to one of the two rules.
enum class RuleOutcome { Existed, Added, Failed };

struct OutcomeBox {
    std::u16string_view text;
    bridge::BoxIcon icon;
};

// The outcome: a failed rule wins, then an existing one; both added is success.
OutcomeBox outcomeBox(RuleOutcome incoming, RuleOutcome outgoing);

// The profiles of the rules: the current ones without the public profile (4), unless public
// is the only one.
int32_t ruleProfiles(int32_t currentProfiles);

// Creates a rule object, sets profiles, action allow, enabled, application name (path),
// protocol TCP, name, description and direction in this order, stopping at the first
// failure, and adds it to `rules`. True when the rule was added.
bool AddFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                     int32_t profiles, std::u16string_view name, std::u16string_view description,
                     int32_t direction);
// The two forms: the incoming rule (its description, direction in) and the outgoing
// one (its description, direction out).
bool AddIncomingFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                             int32_t profiles, std::u16string_view name);
bool AddOutgoingFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                             int32_t profiles, std::u16string_view name);

// Adds "<appName> incoming (Tandravole)" and "<appName> outgoing (Tandravole)" for the
// executable `path` unless they exist, and shows the outcome box (title "Tandravole") owned
// by `owner`. Without a policy, its rules or its current profiles: nothing, silently.
void AddApplicationFirewallRules(FirewallApi& api, FirewallBox& box, std::u16string_view path,
                                 OwnerWindow owner, std::u16string_view appName);

// AddFirewallRules' work: in the current directory, exactly one file that the search for
// "Media Center ??.exe" finds and matchesFilePattern accepts, then COM for the thread
// (single-threaded; an apartment of another kind is used as it is) and AddApplicationFirewallRules
// with "JRiver Media Center". Anything else: nothing, silently.
void AddFirewallRules(FirewallProcess& process, FirewallApi& api, FirewallBox& box,
                      OwnerWindow owner);

// The matching of a file name against a pattern with '?' wildcards (no '*'): '?' is exactly
// one character, other characters compare without regard to ASCII letter case. It decides
// which of the names the system's search found count, so the outcome is the same whatever
// the search's own wildcard rules.
bool matchesFilePattern(std::u16string_view pattern, std::u16string_view name);

// RequestFirewallRules' launch: ShellExecuteExW with these (show state SW_SHOWNORMAL, no
// owner, no mask flags).
struct ElevatedLaunch {
    std::u16string verb;       // "runas"
    std::u16string file;       // "cmd.exe"
    std::u16string parameters; // /c "cd /D "<dir>" && rundll32 "<module>",AddFirewallRules"
    std::u16string directory;  // the player's directory
};

// The directory of an executable path: up to and including its last '\' (empty without one).
std::u16string executableDirectory(std::u16string_view executablePath);

// The command interpreter's parameters: `/c "cd /D "`, directory, `" && rundll32 "`, module
// path, `",AddFirewallRules"`, joined without separators.
std::u16string firewallRequestParameters(std::u16string_view directory,
                                         std::u16string_view modulePath);

// The whole launch for the player's executable path (empty when it could not be read) and the
// plug-in module's path.
ElevatedLaunch firewallRequestLaunch(std::u16string_view executablePath,
                                     std::u16string_view modulePath);

} // namespace services::firewall
