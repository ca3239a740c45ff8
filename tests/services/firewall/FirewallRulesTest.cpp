// The firewall rules against the fake: the rules' data and the order of the calls, the stop at
// a failing step, the profile rule, the outcome table, the executable search, COM and the
// elevated command line.
#include "services/firewall/FirewallRules.h"

#include "tests/services/firewall/FakeFirewall.h"

#include <gtest/gtest.h>

#include <string>
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
const char16_t kAdded[] = u"Firewall rules have been added successfully!";
const char16_t kExist[] = u"Firewall rules already exist";
const char16_t kFailed[] = u"Firewall rules could not be added!";

void press(FakeFirewall& fw) {
    AddApplicationFirewallRules(fw, fw, utf8ToUtf16(kPath), kOwner, kApplicationName);
}

// The one box shown (title and owner are always the same), and every COM object released.
void expectBox(const FakeFirewall& fw, std::u16string_view text, BoxIcon icon) {
    ASSERT_EQ(fw.shown.size(), 1u);
    EXPECT_EQ(fw.shown[0].text, text);
    EXPECT_EQ(fw.shown[0].title, u"Tandravole");
    EXPECT_EQ(fw.shown[0].icon, icon);
    EXPECT_EQ(fw.shown[0].owner, kOwner);
    EXPECT_EQ(fw.live, 0);
}

} // namespace

// Both rules added: every call with its value, in order, then the success box.
TEST(FirewallRules, BothAddedWithTheirRuleDataInOrder) {
    FakeFirewall fw;
    press(fw);
    Calls expected = {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "get_CurrentProfileTypes"};
    for (const auto& [name, description, direction] :
         {std::tuple{kIn,
                     "Allow process to accept incoming TCP connections to allow remote control "
                     "via Tandravole",
                     1},
          std::tuple{kOut,
                     "Allow process to establish outgoing TCP connections to enable Tandravole "
                     "update checks",
                     2}}) {
        for (const std::string& s :
             {"Item(" + name + ")", std::string("CoCreateInstance(NetFwRule)"),
              std::string("put_Profiles(3)"), std::string("put_Action(1)"),
              std::string("put_Enabled(true)"), "put_ApplicationName(" + kPath + ")",
              std::string("put_Protocol(6)"), "put_Name(" + name + ")",
              "put_Description(" + std::string(description) + ")",
              "put_Direction(" + std::to_string(direction) + ")", "Add(" + name + ")",
              std::string("Release rule")})
            expected.push_back(s);
    }
    for (const char* tail : {"MessageBox(Firewall rules have been added successfully!)",
                             "Release rules", "Release policy"})
        expected.push_back(tail);
    EXPECT_EQ(fw.calls, expected);
    expectBox(fw, kAdded, BoxIcon::None);

    // Pressing again finds both and adds nothing.
    fw.calls.clear();
    fw.shown.clear();
    press(fw);
    expectBox(fw, kExist, BoxIcon::Warning);
    EXPECT_EQ(fw.callsStartingWith("Item").size(), 2u);
    EXPECT_TRUE(fw.callsStartingWith("CoCreateInstance(NetFwRule)").empty());
}

// The whole outcome table: how each rule is made to exist, be added or fail. Both rules are
// always looked at: a failed incoming rule does not stop the outgoing one.
TEST(FirewallRules, OutcomeTable) {
    using O = RuleOutcome;
    struct Row {
        O incoming, outgoing;
        const char16_t* text;
        BoxIcon icon;
    };
    const BoxIcon warn = BoxIcon::Warning;
    for (const Row& row :
         {Row{O::Added, O::Added, kAdded, BoxIcon::None}, Row{O::Added, O::Existed, kExist, warn},
          Row{O::Added, O::Failed, kFailed, warn}, Row{O::Failed, O::Added, kFailed, warn},
          Row{O::Failed, O::Existed, kFailed, warn}, Row{O::Failed, O::Failed, kFailed, warn},
          Row{O::Existed, O::Added, kExist, warn}, Row{O::Existed, O::Existed, kExist, warn},
          Row{O::Existed, O::Failed, kFailed, warn}}) {
        SCOPED_TRACE(::testing::Message() << int(row.incoming) << "/" << int(row.outgoing));
        FakeFirewall fw;
        for (const auto& [outcome, name] : {std::pair{row.incoming, kIn}, {row.outgoing, kOut}}) {
            if (outcome == O::Existed)
                fw.collection[name] = {};
            else if (outcome == O::Failed)
                fw.answers["Add(" + name + ")"] = {kFail};
        }
        press(fw);
        expectBox(fw, row.text, row.icon);
        EXPECT_EQ(fw.callsStartingWith("Item").size(), 2u);
        EXPECT_EQ(fw.callsStartingWith("Add").size(),
                  size_t(row.incoming != O::Existed) + size_t(row.outgoing != O::Existed));
    }
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
    EXPECT_TRUE(fw.callsStartingWith("Add").empty());
    EXPECT_EQ(fw.callsStartingWith("CoCreateInstance(NetFwRule)").size(), 2u);
    expectBox(fw, kFailed, BoxIcon::Warning);
}

// The profile rule: public only when it is the only one.
TEST(FirewallRules, Profiles) {
    for (const auto& [current, rule] : {std::pair{1 | 2 | 4, 3}, std::pair{4, 4},
                                        std::pair{2 | 4, 2}, std::pair{3, 3}, std::pair{0, 0}}) {
        FakeFirewall fw;
        fw.currentProfiles = current;
        press(fw);
        ASSERT_EQ(fw.collection.size(), 2u);
        EXPECT_EQ(fw.collection.at(kIn).at("Profiles"), std::to_string(rule)) << current;
        EXPECT_EQ(fw.collection.at(kOut).at("Profiles"), std::to_string(rule)) << current;
    }
}

// No policy, no rules (a failure, or a success without a collection) or no profiles: silent.
TEST(FirewallRules, NoPolicyNoRulesOrNoProfilesIsSilent) {
    struct Case {
        const char* failing;
        HResult answer;
        Calls calls;
    };
    for (const Case& c :
         {Case{"CoCreateInstance(NetFwPolicy2)", kFail, {"CoCreateInstance(NetFwPolicy2)"}},
          Case{"get_Rules",
               kFail,
               {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "Release policy"}},
          Case{"get_Rules", 1, {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "Release policy"}},
          Case{"get_CurrentProfileTypes",
               kFail,
               {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "get_CurrentProfileTypes",
                "Release rules", "Release policy"}}}) {
        FakeFirewall fw;
        fw.answers[c.failing] = {c.answer};
        press(fw);
        EXPECT_TRUE(fw.shown.empty()) << c.failing;
        EXPECT_EQ(fw.calls, c.calls) << c.failing;
        EXPECT_EQ(fw.live, 0);
    }
}

// --- AddFirewallRules: the executable search and COM --------------------------------------

// Exactly one executable of the player's name in the current directory gets both rules for it;
// COM is initialised before the firewall is touched and uninitialised after the box unless it
// was initialised already in another mode. Anything else does nothing.
TEST(AddFirewallRulesExport, TheExecutableSearchAndCom) {
    using Names = std::vector<std::u16string>;
    const Names one = {u"Media Center 31.exe", u"MC31.exe",
                       u"Media Center 3.exe",  u"Media Center 311.exe",
                       u"Media Center 31.dll", u"readme.txt"};
    struct Case {
        Names listing;
        const char* failing;
        HResult answer;
        bool runs, uninitialises;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.listing.size() << " " << c.failing << c.answer);
        FakeFirewall fw;
        fw.listing = c.listing;
        fw.answers[c.failing] = {c.answer};
        AddFirewallRules(fw, fw, fw, kOwner);
        EXPECT_EQ(fw.shown.size(), c.runs ? 1u : 0u);
        EXPECT_EQ(fw.callsStartingWith("CoUninitialize").size(), c.uninitialises ? 1u : 0u);
        if (std::string(c.failing) == "GetCurrentDirectory") {
            EXPECT_EQ(fw.calls, Calls{"GetCurrentDirectory"});
        } else if (c.listing != one) {
            EXPECT_TRUE(fw.callsStartingWith("Co").empty());
        }
        if (!c.runs)
            continue;
        EXPECT_EQ(fw.collection.at(kIn).at("ApplicationName"), kPath);
        EXPECT_EQ(fw.collection.at(kOut).at("ApplicationName"), kPath);
        expectBox(fw, kAdded, BoxIcon::None);
        EXPECT_EQ(Calls(fw.calls.begin(), fw.calls.begin() + 4),
                  (Calls{"GetCurrentDirectory",
                         "FindFirstFile(C:\\Program Files\\J River\\Media Center 31\\Media Center "
                         "??.exe)",
                         "CoInitializeEx", "CoCreateInstance(NetFwPolicy2)"}));
        EXPECT_EQ(fw.calls.back(), c.uninitialises ? "CoUninitialize" : "Release policy");
    }
}

TEST(AddFirewallRulesExport, NameMatching) {
    EXPECT_EQ(std::u16string_view(kExecutablePattern), u"Media Center ??.exe");
    struct Case {
        const char16_t *pattern, *name;
        bool matches;
    };
    const char16_t* p = kExecutablePattern;
    for (const Case c : {
             Case{p, u"Media Center 31.exe", true},
             {p, u"Media Center ab.exe", true},
             {p, u"MEDIA CENTER 31.EXE", true}, // the file system ignores case
             {p, u"media center 31.exe", true},
             {p, u"Media Center 3.exe", false},
             {p, u"Media Center 311.exe", false},
             {p, u"Media Center .exe", false},
             {p, u"Media Center 31.ex", false},
             {p, u"Media Center 31.exe.lnk", false},
             {p, u"Media_Center 31.exe", false},
             {p, u"Media Center 31.exf", false},
             {p, u"Nedia Center 31.exe", false},
             {u"a", u"[", false}, // '[' is 'A' + 26: no case folding outside letters
             {u"`", u"@", false},
             {u"{", u"[", false},
             {u"z", u"Z", true},
             {u"?", u"?", true},
             {u"", u"", true},
         })
        EXPECT_EQ(matchesFilePattern(c.pattern, c.name), c.matches) << utf16ToUtf8(c.name);
}

// --- RequestFirewallRules: the elevated command ------------------------------------------

TEST(RequestFirewallRules, LaunchFromTheExecutablePath) {
    const ElevatedLaunch l =
        firewallRequestLaunch(utf8ToUtf16(kPath), u"D:\\Plugins\\Tandravole.dll");
    EXPECT_EQ(l.verb, u"runas");
    EXPECT_EQ(l.file, u"cmd.exe");
    EXPECT_EQ(l.directory, u"C:\\Program Files\\J River\\Media Center 31\\");
    EXPECT_EQ(l.parameters,
              u"/c \"cd /D \"C:\\Program Files\\J River\\Media Center 31\\\" && rundll32 "
              u"\"D:\\Plugins\\Tandravole.dll\",AddFirewallRules\"");
    EXPECT_EQ(executableDirectory(u"C:\\c.exe"), u"C:\\");
    EXPECT_EQ(executableDirectory(u"c.exe"), u"");
    EXPECT_EQ(executableDirectory(u"C:/a/b.exe"), u"") << "only '\\' separates";
}
