#include "services/firewall/FirewallRules.h"

#include <memory>
#include <utility>
#include <vector>

namespace services::firewall {

OutcomeBox outcomeBox(RuleOutcome incoming, RuleOutcome outgoing) {
    if (incoming == RuleOutcome::Failed || outgoing == RuleOutcome::Failed)
        return {kFailedText, bridge::BoxIcon::Warning};
    if (incoming == RuleOutcome::Existed || outgoing == RuleOutcome::Existed)
        return {kExistText, bridge::BoxIcon::Warning};
    return {kAddedText, bridge::BoxIcon::None};
}

int32_t ruleProfiles(int32_t currentProfiles) {
    if ((currentProfiles & kProfilePublic) != 0 && currentProfiles != kProfilePublic)
        return currentProfiles & ~kProfilePublic;
    return currentProfiles;
}

bool AddFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                     int32_t profiles, std::u16string_view name, std::u16string_view description,
                     int32_t direction) {
    std::unique_ptr<FirewallRule> rule = api.createRule();
    if (!rule)
        return false;
    // Each step runs only when every earlier one succeeded.
    const bool set =
        succeeded(rule->putProfiles(profiles)) && succeeded(rule->putAction(kActionAllow)) &&
        succeeded(rule->putEnabled(true)) && succeeded(rule->putApplicationName(path)) &&
        succeeded(rule->putProtocol(kProtocolTcp)) && succeeded(rule->putName(name)) &&
        succeeded(rule->putDescription(description)) && succeeded(rule->putDirection(direction));
    return set && succeeded(rules.add(*rule));
}

bool AddIncomingFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                             int32_t profiles, std::u16string_view name) {
    return AddFirewallRule(api, rules, path, profiles, name, kIncomingDescription, kDirectionIn);
}

bool AddOutgoingFirewallRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                             int32_t profiles, std::u16string_view name) {
    return AddFirewallRule(api, rules, path, profiles, name, kOutgoingDescription, kDirectionOut);
}

namespace {

using AddRule = bool (*)(FirewallApi&, FirewallRules&, std::u16string_view, int32_t,
                         std::u16string_view);

RuleOutcome ensureRule(FirewallApi& api, FirewallRules& rules, std::u16string_view path,
                       int32_t profiles, const std::u16string& name, AddRule add) {
    if (succeeded(rules.item(name)))
        return RuleOutcome::Existed;
    return add(api, rules, path, profiles, name) ? RuleOutcome::Added : RuleOutcome::Failed;
}

} // namespace

void AddApplicationFirewallRules(FirewallApi& api, FirewallBox& box, std::u16string_view path,
                                 OwnerWindow owner, std::u16string_view appName) {
    std::unique_ptr<FirewallPolicy> policy = api.createPolicy();
    if (!policy)
        return;
    std::unique_ptr<FirewallRules> rules;
    if (!succeeded(policy->rules(rules)) || !rules)
        return;
    int32_t current = 0;
    if (!succeeded(policy->currentProfileTypes(current)))
        return;
    const int32_t profiles = ruleProfiles(current);

    const std::u16string app(appName);
    const RuleOutcome incoming =
        ensureRule(api, *rules, path, profiles, app + kIncomingSuffix, &AddIncomingFirewallRule);
    const RuleOutcome outgoing =
        ensureRule(api, *rules, path, profiles, app + kOutgoingSuffix, &AddOutgoingFirewallRule);

    const OutcomeBox shown = outcomeBox(incoming, outgoing);
    box.show(owner, shown.text, kBoxTitle, shown.icon);
    // The collection, then the policy, are released here.
    rules.reset();
    policy.reset();
}

void AddFirewallRules(FirewallProcess& process, FirewallApi& api, FirewallBox& box,
                      OwnerWindow owner) {
    std::u16string directory;
    if (!process.currentDirectory(directory))
        return;
    // The system's search may be looser than two single characters (on Windows a '?' before
    // the dot may also match nothing), so what it finds is held to the exact pattern.
    std::vector<std::u16string> found;
    for (std::u16string& name : process.findFiles(directory + u"\\" + kExecutablePattern))
        if (matchesFilePattern(kExecutablePattern, name))
            found.push_back(std::move(name));
    if (found.size() != 1)
        return;
    const std::u16string path = directory + u"\\" + found.front();

    const HResult init = process.initializeCom();
    if (!succeeded(init) && init != kChangedMode)
        return;
    AddApplicationFirewallRules(api, box, path, owner, kApplicationName);
    if (succeeded(init))
        process.uninitializeCom();
}

namespace {

char16_t asciiUpper(char16_t c) {
    return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

} // namespace

bool matchesFilePattern(std::u16string_view pattern, std::u16string_view name) {
    if (pattern.size() != name.size())
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'?' && asciiUpper(pattern[i]) != asciiUpper(name[i]))
            return false;
    }
    return true;
}

std::u16string executableDirectory(std::u16string_view executablePath) {
    const size_t slash = executablePath.rfind(u'\\');
    if (slash == std::u16string_view::npos)
        return {};
    return std::u16string(executablePath.substr(0, slash + 1));
}

std::u16string firewallRequestParameters(std::u16string_view directory,
                                         std::u16string_view modulePath) {
    std::u16string parameters = u"/c \"cd /D \"";
    parameters += directory;
    parameters += u"\" && rundll32 \"";
    parameters += modulePath;
    parameters += u"\",AddFirewallRules\"";
    return parameters;
}

ElevatedLaunch firewallRequestLaunch(std::u16string_view executablePath,
                                     std::u16string_view modulePath) {
    ElevatedLaunch launch;
    const std::u16string directory = executableDirectory(executablePath);
    launch.verb = u"runas";
    launch.file = u"cmd.exe";
    launch.parameters = firewallRequestParameters(directory, modulePath);
    launch.directory = directory;
    return launch;
}

} // namespace services::firewall
