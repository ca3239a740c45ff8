// The Windows backend of the firewall rules, run under Wine: AddFirewallRules finds the
// executable in the real current directory with FindFirstFileW (a near miss beside it); the
// module and executable paths give the elevated launch; and what Wine's hnetcfg implements of the
// firewall objects (all but get_CurrentProfileTypes and INetFwRules::Item, E_NOTIMPL; Add stores
// nothing) is driven for real, only under Wine: on Windows Add would change the firewall.
#include "services/firewall/win32/FirewallWin32.h"

#include "common/Utf.h"
#include "services/firewall/FirewallRules.h"
#include "tests/services/firewall/FakeFirewall.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace services::firewall;

namespace {

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace

// Run in a temporary directory holding the player and a near miss: only the exact match counts,
// whatever else the system's search finds.
TEST(FirewallWin32, AddFirewallRulesUsesTheCurrentDirectory) {
    fwtest::FakeFirewall fw;
    {
        const testing_support::TempFolder dir;
        for (const char* name : {"Media Center 31.exe", "Media Center 3.exe"})
            std::ofstream(dir.path / name).put('x');
        const std::filesystem::path saved = std::filesystem::current_path();
        std::filesystem::current_path(dir.path);
        services::firewall::AddFirewallRules(*systemFirewallProcess(), fw, fw, nullptr);
        std::filesystem::current_path(saved);
    }
    ASSERT_EQ(fw.added.size(), 2u);
    // The current directory as the system spells it (Wine may answer another case or a long
    // form), followed by the one match.
    const std::string app = fw.callsStartingWith("put_ApplicationName").at(0);
    EXPECT_EQ(app.substr(app.size() - 21), "\\Media Center 31.exe)");

    // In the multithreaded apartment CoInitializeEx answers RPC_E_CHANGED_MODE (the rules are
    // then still added, and COM is not uninitialised: the fake's table).
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(systemFirewallProcess()->initializeCom(), kChangedMode);
    CoUninitialize();
}

TEST(FirewallWin32, LaunchFromTheProcessAndModulePaths) {
    const std::u16string exe = processExecutablePath();
    const std::u16string module = thisModulePath();
    ASSERT_FALSE(exe.empty());
    // Linked into the test program, the module is the program itself.
    EXPECT_EQ(module, exe);
    const ElevatedLaunch launch = firewallRequestLaunch(exe, module);
    EXPECT_EQ(launch.directory, executableDirectory(exe));
    ASSERT_FALSE(launch.directory.empty());
    EXPECT_EQ(launch.directory.back(), u'\\');
    EXPECT_EQ(launch.parameters, u"/c \"cd /D \"" + launch.directory + u"\" && rundll32 \"" + exe +
                                     u"\",AddFirewallRules\"");
}

// --- the firewall objects of Wine ----------------------------------------------------------

namespace {

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }

private:
    HRESULT hr_;
};

} // namespace

// Every property of a rule through a real INetFwRule and BSTRs, then Add; what Wine lacks stops
// the whole operation silently after the profiles (the rest of it runs against the fakes).
TEST(FirewallWin32Wine, WinesFirewallObjects) {
    if (!runningUnderWine())
        GTEST_SKIP() << "adds rules to the firewall of a real Windows";
    ComApartment com;
    auto api = systemFirewallApi();
    auto policy = api->createPolicy();
    ASSERT_TRUE(policy);
    std::unique_ptr<FirewallRules> rules;
    ASSERT_TRUE(succeeded(policy->rules(rules)));
    ASSERT_TRUE(rules);
    EXPECT_TRUE(AddIncomingFirewallRule(*api, *rules, u"C:\\Media Center 31.exe", 3,
                                        u"JRiver Media Center incoming (Tandravole)"));
    EXPECT_TRUE(AddOutgoingFirewallRule(*api, *rules, u"C:\\Media Center 31.exe", 3,
                                        u"JRiver Media Center outgoing (Tandravole)"));
    // A rule that is not the system's own cannot be added.
    fwtest::FakeFirewall fake;
    auto foreign = fake.createRule();
    EXPECT_EQ(rules->add(*foreign), static_cast<HResult>(E_INVALIDARG));
    int32_t profiles = 0;
    EXPECT_EQ(policy->currentProfileTypes(profiles), static_cast<HResult>(E_NOTIMPL));
    EXPECT_EQ(rules->item(u"JRiver Media Center incoming (Tandravole)"),
              static_cast<HResult>(E_NOTIMPL));
    AddApplicationFirewallRules(*api, fake, u"C:\\Media Center 31.exe", nullptr, kApplicationName);
    EXPECT_TRUE(fake.callsStartingWith("MessageBox").empty());
}
