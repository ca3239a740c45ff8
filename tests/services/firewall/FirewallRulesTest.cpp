// The firewall rules against the fakes: the rules' data, the order of the rule's properties and the
// stop at a failing one, the profile rule, the outcome table, the executable search and the
// elevated command line.
#include "services/firewall/FirewallRules.h"

#include "tests/services/firewall/FakeFirewall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace services::firewall;
using bridge::BoxIcon;
using fwtest::FakeFirewall;
using fwtest::FakeProcess;
using fwtest::RecordingBox;
using fwtest::RuleRecord;

namespace {

const std::u16string kPath = u"C:\\Program Files\\J River\\Media Center 31\\Media Center 31.exe";
const std::u16string kIn = u"JRiver Media Center incoming (Tandravole)";
const std::u16string kOut = u"JRiver Media Center outgoing (Tandravole)";
OwnerWindow const kOwner = reinterpret_cast<OwnerWindow>(static_cast<uintptr_t>(0x1234));

struct Press {
    FakeFirewall fw;
    RecordingBox box;
    Press() { box.calls = &fw.calls; }
    void add() { AddApplicationFirewallRules(fw, box, kPath, kOwner, kApplicationName); }
};

std::vector<std::string> putsFor(int32_t profiles, const std::u16string& name,
                                 const std::string& description, int direction) {
    return {"put_Profiles(" + std::to_string(profiles) + ")",
            "put_Action(1)",
            "put_Enabled(true)",
            "put_ApplicationName(" + fwtest::narrow(kPath) + ")",
            "put_Protocol(6)",
            "put_Name(" + fwtest::narrow(name) + ")",
            "put_Description(" + description + ")",
            "put_Direction(" + std::to_string(direction) + ")"};
}

const std::string kInDescription =
    "Allow process to accept incoming TCP connections to allow remote control via Tandravole";
const std::string kOutDescription =
    "Allow process to establish outgoing TCP connections to enable Tandravole update checks";

} // namespace

// Both rules added: every call with its value, in order, then the success box.
TEST(FirewallRules, BothAddedWithTheirRuleDataInOrder) {
    Press r;
    r.add();
    std::vector<std::string> expected = {
        "CoCreateInstance(NetFwPolicy2)", "get_Rules", "get_CurrentProfileTypes",
        "Item(" + fwtest::narrow(kIn) + ")", "CoCreateInstance(NetFwRule)"};
    for (const std::string& s : putsFor(3, kIn, kInDescription, 1))
        expected.push_back(s);
    expected.push_back("Add(" + fwtest::narrow(kIn) + ")");
    expected.push_back("Release rule");
    expected.push_back("Item(" + fwtest::narrow(kOut) + ")");
    expected.push_back("CoCreateInstance(NetFwRule)");
    for (const std::string& s : putsFor(3, kOut, kOutDescription, 2))
        expected.push_back(s);
    expected.push_back("Add(" + fwtest::narrow(kOut) + ")");
    expected.push_back("Release rule");
    expected.push_back("MessageBox(Firewall rules have been added successfully!)");
    expected.push_back("Release rules");
    expected.push_back("Release policy");
    EXPECT_EQ(r.fw.calls, expected);

    ASSERT_EQ(r.box.shown.size(), 1u);
    EXPECT_EQ(r.box.shown[0].owner, kOwner);
    EXPECT_EQ(r.box.shown[0].title, u"Tandravole");
    EXPECT_EQ(r.box.shown[0].icon, BoxIcon::None);
    EXPECT_EQ(r.fw.collection.size(), 2u);
    EXPECT_EQ(r.fw.live, 0) << "every COM object is released";
}

TEST(FirewallRules, PressingTwiceFindsThemAndAddsNothing) {
    Press r;
    r.add();
    const std::map<std::u16string, RuleRecord> first = r.fw.collection;
    r.fw.calls.clear();
    r.add();

    ASSERT_EQ(r.box.shown.size(), 2u);
    EXPECT_EQ(r.box.shown[1].text, u"Firewall rules already exist");
    EXPECT_EQ(r.box.shown[1].title, u"Tandravole");
    EXPECT_EQ(r.box.shown[1].icon, BoxIcon::Warning);
    EXPECT_EQ(r.fw.countOf("CoCreateInstance(NetFwRule)"), 0u);
    EXPECT_TRUE(r.fw.callsStartingWith("Add").empty());
    EXPECT_TRUE(r.fw.callsStartingWith("put_").empty());
    EXPECT_EQ(r.fw.collection.size(), 2u);
    EXPECT_EQ(r.fw.collection.at(kIn).profiles, first.at(kIn).profiles);
    EXPECT_EQ(r.fw.live, 0);
}

// The whole outcome table: how each rule is made to exist, be added or fail.
struct TableRow {
    RuleOutcome incoming;
    RuleOutcome outgoing;
    const char16_t* text;
    BoxIcon icon;
};

class FirewallOutcomeTable : public testing::TestWithParam<TableRow> {};

TEST_P(FirewallOutcomeTable, ShowsTheTablesTextAndIcon) {
    const TableRow row = GetParam();
    Press r;
    auto arrange = [&](RuleOutcome outcome, const std::u16string& name) {
        if (outcome == RuleOutcome::Existed)
            r.fw.collection[name] = RuleRecord{};
        else if (outcome == RuleOutcome::Failed)
            r.fw.addFailsFor.insert(name);
    };
    arrange(row.incoming, kIn);
    arrange(row.outgoing, kOut);
    r.add();

    ASSERT_EQ(r.box.shown.size(), 1u);
    EXPECT_EQ(r.box.shown[0].text, row.text);
    EXPECT_EQ(r.box.shown[0].icon, row.icon);
    EXPECT_EQ(r.box.shown[0].title, u"Tandravole");
    // Both rules are always looked at: a failed incoming rule does not stop the outgoing one.
    EXPECT_EQ(r.fw.callsStartingWith("Item").size(), 2u);
    const size_t expectedAdds = (row.incoming != RuleOutcome::Existed ? 1u : 0u) +
                                (row.outgoing != RuleOutcome::Existed ? 1u : 0u);
    EXPECT_EQ(r.fw.callsStartingWith("Add").size(), expectedAdds);
    EXPECT_EQ(outcomeBox(row.incoming, row.outgoing).text, std::u16string_view(row.text));
    EXPECT_EQ(outcomeBox(row.incoming, row.outgoing).icon, row.icon);
    EXPECT_EQ(r.fw.live, 0);
}

INSTANTIATE_TEST_SUITE_P(
    AllRows, FirewallOutcomeTable,
    testing::Values(TableRow{RuleOutcome::Added, RuleOutcome::Added,
                             u"Firewall rules have been added successfully!", BoxIcon::None},
                    TableRow{RuleOutcome::Added, RuleOutcome::Existed,
                             u"Firewall rules already exist", BoxIcon::Warning},
                    TableRow{RuleOutcome::Added, RuleOutcome::Failed,
                             u"Firewall rules could not be added!", BoxIcon::Warning},
                    TableRow{RuleOutcome::Failed, RuleOutcome::Added,
                             u"Firewall rules could not be added!", BoxIcon::Warning},
                    TableRow{RuleOutcome::Failed, RuleOutcome::Existed,
                             u"Firewall rules could not be added!", BoxIcon::Warning},
                    TableRow{RuleOutcome::Failed, RuleOutcome::Failed,
                             u"Firewall rules could not be added!", BoxIcon::Warning},
                    TableRow{RuleOutcome::Existed, RuleOutcome::Added,
                             u"Firewall rules already exist", BoxIcon::Warning},
                    TableRow{RuleOutcome::Existed, RuleOutcome::Existed,
                             u"Firewall rules already exist", BoxIcon::Warning},
                    TableRow{RuleOutcome::Existed, RuleOutcome::Failed,
                             u"Firewall rules could not be added!", BoxIcon::Warning}));

// A failing property: the setters after it are not called, the rule is not added.
class FirewallPropertyFailure : public testing::TestWithParam<int> {};

TEST_P(FirewallPropertyFailure, StopsAtThatStep) {
    const int step = GetParam();
    const std::vector<std::string> names = {"put_Profiles",        "put_Action",   "put_Enabled",
                                            "put_ApplicationName", "put_Protocol", "put_Name",
                                            "put_Description",     "put_Direction"};
    Press r;
    r.fw.failingPut = names[step];
    r.fw.failingPutRule = 1; // the incoming rule only
    r.add();

    std::vector<std::string> expectedIn = putsFor(3, kIn, kInDescription, 1);
    expectedIn.resize(step + 1);
    const std::vector<std::string> puts = r.fw.callsStartingWith("put_");
    ASSERT_EQ(puts.size(), expectedIn.size() + 8);
    EXPECT_TRUE(std::equal(expectedIn.begin(), expectedIn.end(), puts.begin()));
    // Nothing of the failed rule was added, and the outgoing rule still was.
    EXPECT_EQ(r.fw.collection.count(kIn), 0u);
    EXPECT_EQ(r.fw.collection.count(kOut), 1u);
    EXPECT_EQ(r.fw.callsStartingWith("Add"),
              std::vector<std::string>{"Add(" + fwtest::narrow(kOut) + ")"});
    // The failed rule object was released, holding only what came before the failure.
    ASSERT_EQ(r.fw.created.size(), 2u);
    const RuleRecord& failed = r.fw.created[0];
    const std::vector<bool> set = {failed.profiles.has_value(),    failed.action.has_value(),
                                   failed.enabled.has_value(),     failed.application.has_value(),
                                   failed.protocol.has_value(),    failed.name.has_value(),
                                   failed.description.has_value(), failed.direction.has_value()};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(set[i], i < step) << names[i];
    ASSERT_EQ(r.box.shown.size(), 1u);
    EXPECT_EQ(r.box.shown[0].text, u"Firewall rules could not be added!");
    EXPECT_EQ(r.box.shown[0].icon, BoxIcon::Warning);
    EXPECT_EQ(r.fw.live, 0);
}

INSTANTIATE_TEST_SUITE_P(EachProperty, FirewallPropertyFailure, testing::Range(0, 8));

TEST(FirewallRules, RuleObjectThatCannotBeCreatedFails) {
    Press r;
    r.fw.ruleCreationFails = true;
    r.add();
    EXPECT_TRUE(r.fw.callsStartingWith("put_").empty());
    EXPECT_TRUE(r.fw.callsStartingWith("Add").empty());
    EXPECT_EQ(r.fw.countOf("CoCreateInstance(NetFwRule)"), 2u);
    ASSERT_EQ(r.box.shown.size(), 1u);
    EXPECT_EQ(r.box.shown[0].text, u"Firewall rules could not be added!");
    EXPECT_EQ(r.box.shown[0].icon, BoxIcon::Warning);
}

// The profile rule, through the whole operation.
class FirewallProfiles : public testing::TestWithParam<std::pair<int32_t, int32_t>> {};

TEST_P(FirewallProfiles, PublicOnlyWhenItIsTheOnlyOne) {
    Press r;
    r.fw.currentProfiles = GetParam().first;
    r.add();
    ASSERT_EQ(r.fw.collection.size(), 2u);
    EXPECT_EQ(r.fw.collection.at(kIn).profiles, GetParam().second);
    EXPECT_EQ(r.fw.collection.at(kOut).profiles, GetParam().second);
    EXPECT_EQ(ruleProfiles(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Masks, FirewallProfiles,
                         testing::Values(std::pair{1 | 2 | 4, 3}, std::pair{4, 4},
                                         std::pair{2 | 4, 2}, std::pair{3, 3}, std::pair{0, 0}));

TEST(FirewallRules, NoPolicyNoRulesOrNoProfilesIsSilent) {
    {
        Press r;
        r.fw.policyFails = true;
        r.add();
        EXPECT_TRUE(r.box.shown.empty());
        EXPECT_EQ(r.fw.calls, std::vector<std::string>{"CoCreateInstance(NetFwPolicy2)"});
    }
    {
        Press r;
        r.fw.rulesResult = kFail;
        r.add();
        EXPECT_TRUE(r.box.shown.empty());
        EXPECT_EQ(r.fw.calls, (std::vector<std::string>{"CoCreateInstance(NetFwPolicy2)",
                                                        "get_Rules", "Release policy"}));
    }
    {
        Press r;
        r.fw.profilesResult = kFail;
        r.add();
        EXPECT_TRUE(r.box.shown.empty());
        EXPECT_EQ(r.fw.calls, (std::vector<std::string>{"CoCreateInstance(NetFwPolicy2)",
                                                        "get_Rules", "get_CurrentProfileTypes",
                                                        "Release rules", "Release policy"}));
        EXPECT_EQ(r.fw.live, 0);
    }
}

// --- AddFirewallRules: the executable search and COM --------------------------------------

namespace {

struct Exported {
    FakeFirewall fw;
    RecordingBox box;
    FakeProcess process;
    Exported() {
        box.calls = &fw.calls;
        process.calls = &fw.calls;
    }
    void run() { AddFirewallRules(process, fw, box, kOwner); }
};

} // namespace

TEST(AddFirewallRulesExport, OneMatchGetsBothRulesForIt) {
    Exported e;
    e.process.listing = {u"Media Center 31.exe", u"MC31.exe",
                         u"Media Center 3.exe",  u"Media Center 311.exe",
                         u"Media Center 31.dll", u"readme.txt"};
    e.run();

    EXPECT_EQ(e.process.patterns,
              std::vector<std::u16string>{
                  u"C:\\Program Files\\J River\\Media Center 31\\Media Center ??.exe"});
    ASSERT_EQ(e.fw.collection.size(), 2u);
    EXPECT_EQ(e.fw.collection.at(kIn).application, kPath);
    EXPECT_EQ(e.fw.collection.at(kOut).application, kPath);
    ASSERT_EQ(e.box.shown.size(), 1u);
    EXPECT_EQ(e.box.shown[0].owner, kOwner);
    EXPECT_EQ(e.box.shown[0].text, u"Firewall rules have been added successfully!");
    // COM is initialised before the firewall is touched and uninitialised after the box.
    EXPECT_EQ(e.fw.calls.front(), "GetCurrentDirectory");
    EXPECT_EQ(e.fw.calls[2], "CoInitializeEx");
    EXPECT_EQ(e.fw.calls[3], "CoCreateInstance(NetFwPolicy2)");
    EXPECT_EQ(e.fw.calls.back(), "CoUninitialize");
    EXPECT_EQ(e.fw.countOf("CoUninitialize"), 1u);
}

TEST(AddFirewallRulesExport, TwoMatchesOrNoneDoNothing) {
    for (const std::vector<std::u16string>& listing :
         {std::vector<std::u16string>{u"Media Center 30.exe", u"Media Center 31.exe"},
          std::vector<std::u16string>{},
          std::vector<std::u16string>{u"Media Center 3.exe", u"Media Center 311.exe"}}) {
        Exported e;
        e.process.listing = listing;
        e.run();
        EXPECT_TRUE(e.box.shown.empty());
        EXPECT_EQ(e.fw.countOf("CoInitializeEx"), 0u);
        EXPECT_EQ(e.fw.countOf("CoCreateInstance(NetFwPolicy2)"), 0u);
        EXPECT_TRUE(e.fw.collection.empty());
    }
}

TEST(AddFirewallRulesExport, UnreadableDirectoryDoesNothing) {
    Exported e;
    e.process.directoryReadable = false;
    e.process.listing = {u"Media Center 31.exe"};
    e.run();
    EXPECT_EQ(e.fw.calls, std::vector<std::string>{"GetCurrentDirectory"});
    EXPECT_TRUE(e.box.shown.empty());
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
        e.process.listing = {u"Media Center 31.exe"};
        e.process.comResult = c.init;
        e.run();
        EXPECT_EQ(e.box.shown.size(), c.runs ? 1u : 0u) << c.init;
        EXPECT_EQ(e.fw.countOf("CoCreateInstance(NetFwPolicy2)"), c.runs ? 1u : 0u) << c.init;
        EXPECT_EQ(e.fw.countOf("CoUninitialize"), c.uninitialises ? 1u : 0u) << c.init;
    }
}

TEST(AddFirewallRulesExport, NameMatching) {
    const std::u16string_view p = kExecutablePattern;
    EXPECT_EQ(p, u"Media Center ??.exe");
    EXPECT_TRUE(matchesFilePattern(p, u"Media Center 31.exe"));
    EXPECT_TRUE(matchesFilePattern(p, u"Media Center 30.exe"));
    EXPECT_TRUE(matchesFilePattern(p, u"Media Center ab.exe"));
    EXPECT_TRUE(matchesFilePattern(p, u"MEDIA CENTER 31.EXE")) << "the file system ignores case";
    EXPECT_TRUE(matchesFilePattern(p, u"media center 31.exe"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center 3.exe"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center 311.exe"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center .exe"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center 31.ex"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center 31.exe.lnk"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media_Center 31.exe"));
    EXPECT_FALSE(matchesFilePattern(p, u"Media Center 31.exf"));
    EXPECT_FALSE(matchesFilePattern(p, u"Nedia Center 31.exe"));
    EXPECT_FALSE(
        matchesFilePattern(u"a", u"[")); // '[' is 'A' + 26: no case folding outside letters
    EXPECT_FALSE(matchesFilePattern(u"`", u"@"));
    EXPECT_FALSE(matchesFilePattern(u"{", u"["));
    EXPECT_TRUE(matchesFilePattern(u"z", u"Z"));
    EXPECT_TRUE(matchesFilePattern(u"?", u"?"));
    EXPECT_TRUE(matchesFilePattern(u"", u""));
}

// --- RequestFirewallRules: the elevated command ------------------------------------------

TEST(RequestFirewallRules, LaunchFromTheExecutablePath) {
    const ElevatedLaunch l =
        firewallRequestLaunch(u"C:\\Program Files\\J River\\Media Center 31\\Media Center 31.exe",
                              u"D:\\Plugins\\Tandravole.dll");
    EXPECT_EQ(l.verb, u"runas");
    EXPECT_EQ(l.file, u"cmd.exe");
    EXPECT_EQ(l.directory, u"C:\\Program Files\\J River\\Media Center 31\\");
    EXPECT_EQ(l.parameters,
              u"/c \"cd /D \"C:\\Program Files\\J River\\Media Center 31\\\" && rundll32 "
              u"\"D:\\Plugins\\Tandravole.dll\",AddFirewallRules\"");
}

TEST(RequestFirewallRules, DirectoryUpToTheLastBackslash) {
    EXPECT_EQ(executableDirectory(u"C:\\c.exe"), u"C:\\");
    EXPECT_EQ(executableDirectory(u"c.exe"), u"");
    EXPECT_EQ(executableDirectory(u"C:/a/b.exe"), u"") << "only '\\' separates";
}
