// The firewall rules against the fake: the rules' data and the order of the calls, the stop at
// a failing step, the outcome and profile rules, the executable search, COM and the elevated
// command line.
#include "services/firewall/FirewallRules.h"

#include "tests/services/firewall/FakeFirewall.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace services::firewall;
using bridge::BoxIcon;
using fwtest::FakeFirewall;
using Calls = std::vector<std::string>;

namespace {

const std::string kPath = "C:\\Program Files\\J River\\Media Center 31\\Media Center 31.exe";
const std::string kIn = "JRiver Media Center incoming (Tandravole)";
const std::string kOut = "JRiver Media Center outgoing (Tandravole)";
OwnerWindow const kOwner = reinterpret_cast<OwnerWindow>(static_cast<uintptr_t>(0x1234));
const char kAdded[] = "Firewall rules have been added successfully!";
const char kExist[] = "Firewall rules already exist";
const char kFailed[] = "Firewall rules could not be added!";

void press(FakeFirewall& fw) {
    AddApplicationFirewallRules(fw, fw, utf8ToUtf16(kPath), kOwner, kApplicationName);
}

// The one box shown (title and owner are always the same), and every COM object released.
void expectBox(const FakeFirewall& fw, const std::string& text, BoxIcon icon) {
    EXPECT_EQ(fw.callsStartingWith("MessageBox"), Calls{"MessageBox(" + text + ", Tandravole, " +
                                                        std::to_string(int(icon)) + ", 4660)"});
    EXPECT_EQ(fw.live, 0);
}

Calls ruleCalls(const std::string& name, const std::string& description, int direction) {
    return {"Item(" + name + ")",
            "CoCreateInstance(NetFwRule)",
            "put_Profiles(3)",
            "put_Action(1)",
            "put_Enabled(true)",
            "put_ApplicationName(" + kPath + ")",
            "put_Protocol(6)",
            "put_Name(" + name + ")",
            "put_Description(" + description + ")",
            "put_Direction(" + std::to_string(direction) + ")",
            "Add(" + name + ")",
            "Release rule"};
}

} // namespace

// Both rules added (all three profiles current: the public one is left out), every call with its
// value in order, then the success box; pressing again finds both and adds nothing.
TEST(FirewallRules, BothAddedWithTheirRuleDataInOrder) {
    FakeFirewall fw;
    fw.currentProfiles = 1 | 2 | 4;
    press(fw);
    Calls expected = {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "get_CurrentProfileTypes"};
    for (const Calls& rule :
         {ruleCalls(kIn,
                    "Allow process to accept incoming TCP connections to allow remote control "
                    "via Tandravole",
                    1),
          ruleCalls(kOut,
                    "Allow process to establish outgoing TCP connections to enable Tandravole "
                    "update checks",
                    2),
          Calls{"MessageBox(Firewall rules have been added successfully!, Tandravole, 0, 4660)",
                "Release rules", "Release policy"}})
        expected.insert(expected.end(), rule.begin(), rule.end());
    EXPECT_EQ(fw.calls, expected);
    expectBox(fw, kAdded, BoxIcon::None);

    fw.calls.clear();
    press(fw);
    expectBox(fw, kExist, BoxIcon::Warning);
    EXPECT_EQ(fw.callsStartingWith("Item").size(), 2u);
    EXPECT_TRUE(fw.callsStartingWith("CoCreateInstance(NetFwRule)").empty());
}

// Any failure shows the failure box, else any existing rule the warning; public only when it is
// the only profile.
TEST(FirewallRules, OutcomeAndProfileRules) {
    using O = RuleOutcome;
    const BoxIcon warn = BoxIcon::Warning;
    // clang-format off
    const std::tuple<O, O, const char*, BoxIcon> outcomes[] = {
        {O::Added, O::Added, kAdded, BoxIcon::None}, {O::Added, O::Existed, kExist, warn},
        {O::Added, O::Failed, kFailed, warn},        {O::Failed, O::Added, kFailed, warn},
        {O::Failed, O::Existed, kFailed, warn},      {O::Failed, O::Failed, kFailed, warn},
        {O::Existed, O::Added, kExist, warn},        {O::Existed, O::Existed, kExist, warn},
        {O::Existed, O::Failed, kFailed, warn}};
    // clang-format on
    for (const auto& [incoming, outgoing, text, icon] : outcomes) {
        const OutcomeBox box = outcomeBox(incoming, outgoing);
        EXPECT_EQ(box.text, utf8ToUtf16(text)) << int(incoming) << int(outgoing);
        EXPECT_EQ(box.icon, icon) << int(incoming) << int(outgoing);
    }
    for (const auto& [current, rule] :
         {std::pair{1 | 2 | 4, 3}, {4, 4}, {2 | 4, 2}, {3, 3}, {0, 0}})
        EXPECT_EQ(ruleProfiles(current), rule) << current;
}

// A failing step of the incoming rule: the setters after it are not called, the rule is not
// added, the outgoing rule still is. Without a rule object nothing is set at all.
TEST(FirewallRules, StopsAtAFailingPropertyOrRuleObject) {
    const char* steps[] = {"put_Profiles", "put_Action", "put_Enabled",     "put_ApplicationName",
                           "put_Protocol", "put_Name",   "put_Description", "put_Direction"};
    for (size_t step = 0; step < std::size(steps); ++step) {
        SCOPED_TRACE(steps[step]);
        FakeFirewall fw;
        fw.answers[steps[step]] = {kFail, kOk};
        press(fw);
        const Calls puts = fw.callsStartingWith("put_");
        ASSERT_EQ(puts.size(), step + 1 + 8);
        EXPECT_EQ(puts[step].rfind(steps[step], 0), 0u);
        EXPECT_EQ(fw.callsStartingWith("Add"), Calls{"Add(" + kOut + ")"});
        expectBox(fw, kFailed, BoxIcon::Warning);
    }
    FakeFirewall fw;
    fw.answers["CoCreateInstance(NetFwRule)"] = {kFail};
    press(fw);
    EXPECT_TRUE(fw.callsStartingWith("put_").empty());
    EXPECT_EQ(fw.callsStartingWith("CoCreateInstance(NetFwRule)").size(), 2u);
    expectBox(fw, kFailed, BoxIcon::Warning);
}

// No policy, no rules (a failure, or a success without a collection) or no profiles: silent.
TEST(FirewallRules, NoPolicyNoRulesOrNoProfilesIsSilent) {
    const Calls policy = {"CoCreateInstance(NetFwPolicy2)"};
    const Calls rules = {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "Release policy"};
    const Calls profiles = {"CoCreateInstance(NetFwPolicy2)", "get_Rules",
                            "get_CurrentProfileTypes", "Release rules", "Release policy"};
    for (const auto& [failing, answer, calls] :
         {std::tuple{"CoCreateInstance(NetFwPolicy2)", kFail, policy},
          {"get_Rules", kFail, rules},
          {"get_Rules", 1, rules},
          {"get_CurrentProfileTypes", kFail, profiles}}) {
        FakeFirewall fw;
        fw.answers[failing] = {answer};
        press(fw);
        EXPECT_TRUE(fw.callsStartingWith("MessageBox").empty()) << failing;
        EXPECT_EQ(fw.calls, calls) << failing;
        EXPECT_EQ(fw.live, 0);
    }
}

// Exactly one executable of the player's name in the current directory gets both rules for it;
// COM is initialised before the firewall is touched and uninitialised after the box unless it
// was initialised already in another mode. Anything else does nothing.
TEST(AddFirewallRulesExport, TheExecutableSearchAndCom) {
    using Names = std::vector<std::u16string>;
    const Names one = {u"Media Center 31.exe", u"MC31.exe", u"Media Center 3.exe",
                       u"Media Center 311.exe", u"Media Center 31.dll"};
    // The directory's names, the failing call and its answer, whether it runs and uninitialises.
    const std::tuple<Names, const char*, HResult, bool, bool> cases[] = {
        {one, "", kOk, true, true},
        {one, "CoInitializeEx", 1 /* S_FALSE */, true, true},
        {one, "CoInitializeEx", kChangedMode, true, false},
        {one, "CoInitializeEx", kFail, false, false},
        {one, "CoInitializeEx", kOutOfMemory, false, false},
        {{u"Media Center 30.exe", u"Media Center 31.exe"}, "", kOk, false, false},
        {{}, "", kOk, false, false},
        {{u"Media Center 3.exe", u"Media Center 311.exe"}, "", kOk, false, false},
        {one, "GetCurrentDirectory", kFail, false, false},
    };
    for (const auto& [listing, failing, answer, runs, uninitialises] : cases) {
        SCOPED_TRACE(::testing::Message() << listing.size() << " " << failing << answer);
        FakeFirewall fw;
        fw.listing = listing;
        fw.answers[failing] = {answer};
        AddFirewallRules(fw, fw, fw, kOwner);
        EXPECT_EQ(fw.callsStartingWith("MessageBox").size(), runs ? 1u : 0u);
        EXPECT_EQ(fw.callsStartingWith("CoUninitialize").size(), uninitialises ? 1u : 0u);
        EXPECT_TRUE(listing == one || fw.callsStartingWith("Co").empty());
        if (!runs)
            continue;
        EXPECT_EQ(fw.callsStartingWith("put_ApplicationName"),
                  Calls(2, "put_ApplicationName(" + kPath + ")"));
        EXPECT_EQ(fw.added, (std::set<std::string>{kIn, kOut}));
        EXPECT_EQ(Calls(fw.calls.begin(), fw.calls.begin() + 4),
                  (Calls{"GetCurrentDirectory",
                         "FindFirstFile(C:\\Program Files\\J River\\Media Center 31\\Media Center "
                         "??.exe)",
                         "CoInitializeEx", "CoCreateInstance(NetFwPolicy2)"}));
        EXPECT_EQ(fw.calls.back(), uninitialises ? "CoUninitialize" : "Release policy");
    }
}

TEST(AddFirewallRulesExport, NameMatching) {
    const char16_t* p = kExecutablePattern;
    // The file system ignores case; '[' is 'A' + 26, so no case folding outside letters.
    const std::tuple<const char16_t*, const char16_t*, bool> cases[] = {
        {p, u"Media Center ab.exe", true},
        {p, u"MEDIA CENTER 31.EXE", true},
        {p, u"Nedia Center 31.exe", false},
        {p, u"Media Center 31.exf", false},
        {u"a", u"[", false},
        {u"{", u"[", false},
        {u"z", u"Z", true},
    };
    for (const auto& [pattern, name, matches] : cases)
        EXPECT_EQ(matchesFilePattern(pattern, name), matches) << utf16ToUtf8(name);
}

TEST(RequestFirewallRules, LaunchFromTheExecutablePath) {
    const ElevatedLaunch l =
        firewallRequestLaunch(utf8ToUtf16(kPath), u"D:\\Plugins\\Tandravole.dll");
    EXPECT_EQ(l.verb, u"runas");
    EXPECT_EQ(l.file, u"cmd.exe");
    EXPECT_EQ(l.directory, u"C:\\Program Files\\J River\\Media Center 31\\");
    EXPECT_EQ(l.parameters,
              u"/c \"cd /D \"C:\\Program Files\\J River\\Media Center 31\\\" && rundll32 "
              u"\"D:\\Plugins\\Tandravole.dll\",AddFirewallRules\"");
    EXPECT_EQ(executableDirectory(u"c.exe"), u"");
    EXPECT_EQ(executableDirectory(u"C:/a/b.exe"), u"") << "only '\\' separates";
}
