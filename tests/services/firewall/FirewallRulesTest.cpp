// The firewall rules against the fakes: the rules' data, the order of the rule's properties and the
// stop at a failing one, the profile rule, the outcome table, the executable search and the
// elevated command line.
#include "services/firewall/FirewallRules.h"

#include "tests/services/firewall/FakeFirewall.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace services::firewall;
using bridge::BoxIcon;
using fwtest::FakeFirewall;
using fwtest::FakeProcess;
using fwtest::RecordingBox;
using Calls = std::vector<std::string>;

namespace {

const std::string kPath = "C:\\Program Files\\J River\\Media Center 31\\Media Center 31.exe";
const std::string kIn = "JRiver Media Center incoming (Tandravole)";
const std::string kOut = "JRiver Media Center outgoing (Tandravole)";
OwnerWindow const kOwner = reinterpret_cast<OwnerWindow>(static_cast<uintptr_t>(0x1234));
const char16_t kAdded[] = u"Firewall rules have been added successfully!";
const char16_t kExist[] = u"Firewall rules already exist";
const char16_t kFailed[] = u"Firewall rules could not be added!";

struct Press {
    FakeFirewall fw;
    RecordingBox box;
    Press() { box.calls = &fw.calls; }
    void add() {
        AddApplicationFirewallRules(fw, box, utf8ToUtf16(kPath), kOwner, kApplicationName);
    }
    // The one box shown: its text and icon (title and owner are always the same).
    void expectBox(std::u16string_view text, BoxIcon icon) {
        ASSERT_EQ(box.shown.size(), 1u);
        EXPECT_EQ(box.shown[0].text, text);
        EXPECT_EQ(box.shown[0].title, u"Tandravole");
        EXPECT_EQ(box.shown[0].icon, icon);
        EXPECT_EQ(box.shown[0].owner, kOwner);
        EXPECT_EQ(fw.live, 0) << "every COM object is released";
    }
};

Calls putsFor(const std::string& name, const std::string& description, int direction) {
    return {"put_Profiles(3)",
            "put_Action(1)",
            "put_Enabled(true)",
            "put_ApplicationName(" + kPath + ")",
            "put_Protocol(6)",
            "put_Name(" + name + ")",
            "put_Description(" + description + ")",
            "put_Direction(" + std::to_string(direction) + ")"};
}

} // namespace

// Both rules added: every call with its value, in order, then the success box.
TEST(FirewallRules, BothAddedWithTheirRuleDataInOrder) {
    Press r;
    r.add();
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
        expected.push_back("Item(" + name + ")");
        expected.push_back("CoCreateInstance(NetFwRule)");
        for (const std::string& s : putsFor(name, description, direction))
            expected.push_back(s);
        expected.push_back("Add(" + name + ")");
        expected.push_back("Release rule");
    }
    for (const char* tail : {"MessageBox(Firewall rules have been added successfully!)",
                             "Release rules", "Release policy"})
        expected.push_back(tail);
    EXPECT_EQ(r.fw.calls, expected);
    r.expectBox(kAdded, BoxIcon::None);

    // Pressing again finds both and adds nothing.
    r.fw.calls.clear();
    r.box.shown.clear();
    r.add();
    r.expectBox(kExist, BoxIcon::Warning);
    EXPECT_EQ(r.fw.callsStartingWith("Item").size(), 2u);
    EXPECT_TRUE(r.fw.callsStartingWith("CoCreateInstance(NetFwRule)").empty());
    EXPECT_EQ(r.fw.collection.size(), 2u);
}

// The whole outcome table: how each rule is made to exist, be added or fail.
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
        Press r;
        for (const auto& [outcome, name] : {std::pair{row.incoming, kIn}, {row.outgoing, kOut}}) {
            if (outcome == O::Existed)
                r.fw.collection[name] = {};
            else if (outcome == O::Failed)
                r.fw.addFailsFor.insert(name);
        }
        r.add();
        r.expectBox(row.text, row.icon);
        // Both rules are always looked at: a failed incoming rule does not stop the outgoing one.
        EXPECT_EQ(r.fw.callsStartingWith("Item").size(), 2u);
        EXPECT_EQ(r.fw.callsStartingWith("Add").size(),
                  size_t(row.incoming != O::Existed) + size_t(row.outgoing != O::Existed));
        EXPECT_EQ(outcomeBox(row.incoming, row.outgoing).text, std::u16string_view(row.text));
    }
}

// A failing property: the setters after it are not called, the rule is not added, the outgoing
// rule still is. Without a rule object nothing is set at all.
TEST(FirewallRules, StopsAtAFailingPropertyOrRuleObject) {
    const Calls inPuts =
        putsFor(kIn,
                "Allow process to accept incoming TCP connections to allow remote control via "
                "Tandravole",
                1);
    for (size_t step = 0; step < inPuts.size(); ++step) {
        SCOPED_TRACE(inPuts[step]);
        Press r;
        r.fw.failingPut = inPuts[step].substr(0, inPuts[step].find('('));
        r.add();
        const Calls puts = r.fw.callsStartingWith("put_");
        ASSERT_EQ(puts.size(), step + 1 + 8);
        EXPECT_EQ(Calls(puts.begin(), puts.begin() + long(step) + 1),
                  Calls(inPuts.begin(), inPuts.begin() + long(step) + 1));
        EXPECT_EQ(r.fw.callsStartingWith("Add"), Calls{"Add(" + kOut + ")"});
        EXPECT_EQ(r.fw.collection.count(kOut), 1u);
        r.expectBox(kFailed, BoxIcon::Warning);
    }
    Press r;
    r.fw.ruleCreationFails = true;
    r.add();
    EXPECT_TRUE(r.fw.callsStartingWith("put_").empty());
    EXPECT_TRUE(r.fw.callsStartingWith("Add").empty());
    EXPECT_EQ(r.fw.callsStartingWith("CoCreateInstance(NetFwRule)").size(), 2u);
    r.expectBox(kFailed, BoxIcon::Warning);
}

// The profile rule: public only when it is the only one.
TEST(FirewallRules, Profiles) {
    for (const auto& [current, rule] : {std::pair{1 | 2 | 4, 3}, std::pair{4, 4},
                                        std::pair{2 | 4, 2}, std::pair{3, 3}, std::pair{0, 0}}) {
        Press r;
        r.fw.currentProfiles = current;
        r.add();
        ASSERT_EQ(r.fw.collection.size(), 2u);
        EXPECT_EQ(r.fw.collection.at(kIn).at("Profiles"), std::to_string(rule)) << current;
        EXPECT_EQ(r.fw.collection.at(kOut).at("Profiles"), std::to_string(rule)) << current;
    }
}

TEST(FirewallRules, NoPolicyNoRulesOrNoProfilesIsSilent) {
    const Calls all = {"CoCreateInstance(NetFwPolicy2)", "get_Rules", "get_CurrentProfileTypes",
                       "Release rules", "Release policy"};
    for (int failing = 0; failing < 4; ++failing) {
        Press r;
        r.fw.policyFails = failing == 0;
        r.fw.rulesResult = failing == 1 ? kFail : kOk;
        r.fw.rulesNull = failing == 3;
        r.fw.profilesResult = failing == 2 ? kFail : kOk;
        r.add();
        EXPECT_TRUE(r.box.shown.empty()) << failing;
        // A collection that succeeds but is missing stops where a failing one does.
        Calls expected(all.begin(), all.begin() + (failing == 3 ? 2 : failing + 1));
        if (failing == 2)
            expected.push_back("Release rules");
        if (failing > 0)
            expected.push_back("Release policy");
        EXPECT_EQ(r.fw.calls, expected) << failing;
        EXPECT_EQ(r.fw.live, 0);
    }
}

// --- AddFirewallRules: the executable search and COM --------------------------------------

namespace {

struct Exported {
    FakeFirewall fw;
    RecordingBox box;
    FakeProcess process{fw.calls};
    Exported() { box.calls = &fw.calls; }
    void run(std::vector<std::u16string> listing) {
        process.listing = std::move(listing);
        AddFirewallRules(process, fw, box, kOwner);
    }
};

} // namespace

TEST(AddFirewallRulesExport, OneMatchGetsBothRulesForIt) {
    Exported e;
    e.run({u"Media Center 31.exe", u"MC31.exe", u"Media Center 3.exe", u"Media Center 311.exe",
           u"Media Center 31.dll", u"readme.txt"});
    EXPECT_EQ(e.process.patterns,
              std::vector<std::u16string>{
                  u"C:\\Program Files\\J River\\Media Center 31\\Media Center ??.exe"});
    ASSERT_EQ(e.fw.collection.size(), 2u);
    EXPECT_EQ(e.fw.collection.at(kIn).at("ApplicationName"), kPath);
    EXPECT_EQ(e.fw.collection.at(kOut).at("ApplicationName"), kPath);
    ASSERT_EQ(e.box.shown.size(), 1u);
    EXPECT_EQ(e.box.shown[0].owner, kOwner);
    // COM is initialised before the firewall is touched and uninitialised after the box.
    EXPECT_EQ(Calls(e.fw.calls.begin(), e.fw.calls.begin() + 4),
              (Calls{"GetCurrentDirectory",
                     "FindFirstFile(C:\\Program Files\\J River\\Media Center 31\\Media Center "
                     "??.exe)",
                     "CoInitializeEx", "CoCreateInstance(NetFwPolicy2)"}));
    EXPECT_EQ(e.fw.calls.back(), "CoUninitialize");
    EXPECT_EQ(e.fw.callsStartingWith("CoUninitialize").size(), 1u);
}

TEST(AddFirewallRulesExport, TwoMatchesNoneOrNoDirectoryDoNothing) {
    for (const std::vector<std::u16string>& listing :
         {std::vector<std::u16string>{u"Media Center 30.exe", u"Media Center 31.exe"},
          std::vector<std::u16string>{},
          std::vector<std::u16string>{u"Media Center 3.exe", u"Media Center 311.exe"}}) {
        Exported e;
        e.run(listing);
        EXPECT_TRUE(e.box.shown.empty());
        EXPECT_TRUE(e.fw.callsStartingWith("Co").empty());
    }
    Exported e;
    e.process.directoryReadable = false;
    e.run({u"Media Center 31.exe"});
    EXPECT_EQ(e.fw.calls, Calls{"GetCurrentDirectory"});
}

TEST(AddFirewallRulesExport, ComModes) {
    struct Case {
        HResult init;
        bool runs;
        bool uninitialises;
    };
    for (const Case c :
         {Case{kOk, true, true}, Case{1 /* S_FALSE */, true, true}, Case{kChangedMode, true, false},
          Case{kFail, false, false}, Case{kOutOfMemory, false, false}}) {
        Exported e;
        e.process.comResult = c.init;
        e.run({u"Media Center 31.exe"});
        EXPECT_EQ(e.box.shown.size(), c.runs ? 1u : 0u) << c.init;
        EXPECT_EQ(e.fw.callsStartingWith("CoCreateInstance(NetFwPolicy2)").size(), c.runs ? 1u : 0u)
            << c.init;
        EXPECT_EQ(e.fw.callsStartingWith("CoUninitialize").size(), c.uninitialises ? 1u : 0u)
            << c.init;
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
        EXPECT_EQ(matchesFilePattern(c.pattern, c.name), c.matches) << fwtest::narrow(c.name);
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
