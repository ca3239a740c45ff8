// Registration and unregistration over the registry seam with a recording stand-in for the
// Windows side: the real script's COM entries, the player's plug-in keys, the settings, the
// COM step's order and results, and everything that is not ours left in place.
#include "shell/Registration.h"
#include "bridge/PluginSettings.h"
#include "shell/Product.h"
#include "tests/shell/RegistrySandbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace shell;
using platform::RegistryKey;
using platform::RegistryRoot;
using namespace shell_tests;

namespace {

const char16_t kModule[] = u"C:\\Program Files\\Tandravole\\Tandravole.dll";
const std::string kClsid = "{806BC7DC-BE17-494F-BF80-985F3AA07A72}";
const std::u16string kInstallations = u"SOFTWARE\\J. River\\Media Core\\Installations\\";

std::string realScript() {
    std::ostringstream text;
    text << std::ifstream(TANDRAVOLE_RGS_FILE, std::ios::binary).rdbuf();
    return text.str();
}

// Records the calls in one line: "locale=2048" a change of the thread's locale, "@2048" the
// locale a call ran under.
class RecordingCom : public ComRegistration {
public:
    std::string calls;
    uint32_t locale = 1033;
    std::optional<std::string> script = realScript();
    int32_t library = kResultOk;

    void log(const std::string& call) { calls += (calls.empty() ? "" : " ") + call; }
    std::string at() { return "@" + std::to_string(locale); }
    uint32_t threadLocale() override { return log("locale?"), locale; }
    void setThreadLocale(uint32_t l) override { log("locale=" + std::to_string(locale = l)); }
    std::optional<std::string> registrationScript() override {
        return log("script" + at()), script;
    }
    RegistrarReplacements moduleReplacements() override {
        return log("module"), RegistrarReplacements{{u"MODULE", kModule}};
    }
    int32_t registerTypeLibrary() override { return log("register" + at()), library; }
    int32_t unregisterTypeLibrary() override { return log("unregister" + at()), library; }
};

std::string comStep(const std::string& library) {
    return "locale? locale=2048 script@2048 module " + library + "@2048 locale=1033";
}

void make(RegistryRoot root, const std::u16string& path, std::u16string_view value = {}) {
    RegistryKey key;
    ASSERT_TRUE(key.create(root, path));
    if (!value.empty())
        key.writeString(value, u"x");
}

// Two installations of the player, each with another plug-in.
void installations() {
    for (std::u16string name : {u"MC 32", u"MC 33"}) {
        make(RegistryRoot::LocalMachine, kInstallations + name);
        make(RegistryRoot::LocalMachine,
             u"Software\\J. River\\" + name + u"\\Plugins\\Interface\\Other", u"URL");
    }
}

} // namespace

// The plug-in keys of every installation, the script's COM entries exactly, and after
// unregistering everything that is not ours, with and without keys of others beside ours.
TEST(RegistrationTest, RegisteringWritesExactlyOurKeysAndUnregisteringTakesOnlyThem) {
    const std::string c = "CLSID\\" + kClsid, module = utf16ToUtf8(kModule);
    Lines ours = {c + " @='Tandravole'",
                  c + "\\Control",
                  c + "\\InprocServer32 @='" + module + "' ThreadingModel='Apartment'",
                  c + "\\Insertable",
                  c + "\\MiscStatus @='0'",
                  c + "\\MiscStatus\\1 @='131473'",
                  c + "\\ProgID @='Tandravole.TandravoleCtrl.1'",
                  c + "\\Programmable",
                  c + "\\ToolboxBitmap32 @='" + module + ", 102'",
                  c + "\\TypeLib @='{5B685F59-D2E1-4B4B-A64C-748D708FD314}'",
                  c + "\\Version @='1.0'",
                  c + "\\VersionIndependentProgID @='Tandravole.TandravoleCtrl'",
                  "Tandravole.TandravoleCtrl @='Tandravole'",
                  "Tandravole.TandravoleCtrl.1 @='Tandravole'",
                  "Tandravole.TandravoleCtrl.1\\CLSID @='" + kClsid + "'",
                  "Tandravole.TandravoleCtrl\\CLSID @='" + kClsid + "'",
                  "Tandravole.TandravoleCtrl\\CurVer @='Tandravole.TandravoleCtrl.1'"};
    for (bool others : {true, false}) {
        RegistrySandbox sandbox;
        installations();
        Lines classes = {"CLSID"};
        if (others) {
            make(RegistryRoot::ClassesRoot, u".txt", u"theirs");
            make(RegistryRoot::ClassesRoot, u"CLSID\\{00000000-0000-0000-C000-000000000046}",
                 u"theirs");
            make(RegistryRoot::ClassesRoot, u"CLSID\\" + utf8ToUtf16(kClsid) + u"\\Stale");
            classes = {".txt theirs='x'", "CLSID",
                       "CLSID\\{00000000-0000-0000-C000-000000000046} theirs='x'"};
        }
        make(RegistryRoot::LocalMachine, u"Software\\Tandravole\\MediaCenter\\A\\Deep", u"v");
        make(RegistryRoot::LocalMachine, u"Software\\Tandravole\\MediaCenter\\B");
        SaveSettings(PluginSettings{.password = u"secret"}); // all ten values
        const std::u16string user(kSettingsKeyPath);
        if (others) {
            make(RegistryRoot::LocalMachine, u"Software\\Tandravole\\Other");
            make(RegistryRoot::CurrentUser, user, u"mine");
            make(RegistryRoot::CurrentUser, user + u"\\Presets");
        }
        const Lines machineBefore = dump(RegistryRoot::LocalMachine);
        RecordingCom com;
        ASSERT_EQ(RegisterPlugin(com, 0x01070400), kResultOk);
        EXPECT_EQ(com.calls, comStep("register"));
        Lines all = classes;
        all.insert(all.end(), ours.begin(), ours.end());
        std::sort(all.begin(), all.end());
        EXPECT_EQ(dump(RegistryRoot::ClassesRoot), all);
        const Lines machine = dump(RegistryRoot::LocalMachine);
        for (const char16_t* installation : {u"MC 32", u"MC 33"}) {
            std::string key = "SOFTWARE\\J. River\\" + utf16ToUtf8(installation) +
                              "\\Plugins\\Interface\\Tandravole CLSID='" + kClsid +
                              "' Company='Carvelin Software' Copyright='Copyright \xC2\xA9 2026 "
                              "Carvelin Software' IVersion=1 PluginMode=1 "
                              "URL='https://www.tandravole.com' Version='1.7.4'";
            EXPECT_EQ(std::count(machine.begin(), machine.end(), key), 1) << key;
        }

        com.calls.clear();
        EXPECT_EQ(UnregisterPlugin(com), kResultOk);
        EXPECT_EQ(com.calls, comStep("unregister"));
        Lines machineLeft = machineBefore, userLeft = {"Software", "Software\\Tandravole"};
        std::erase_if(machineLeft, [&](const std::string& line) {
            return line.starts_with("SOFTWARE\\Tandravole\\MediaCenter") ||
                   (!others && line == "SOFTWARE\\Tandravole");
        });
        if (others)
            userLeft.insert(userLeft.end(), {"Software\\Tandravole\\MediaCenter mine='x'",
                                             "Software\\Tandravole\\MediaCenter\\Presets"});
        EXPECT_EQ(dump(RegistryRoot::LocalMachine), machineLeft);
        EXPECT_EQ(dump(RegistryRoot::CurrentUser), userLeft);
        EXPECT_EQ(dump(RegistryRoot::ClassesRoot), classes);
    }
}

// The result is the script's or the type library's; unregistering goes on past a machine key
// that cannot be deleted (a registry that refuses every change) and leaves it.
TEST(RegistrationTest, TheComStepGivesTheScriptsOrTheTypeLibrarysResult) {
    const int32_t access = static_cast<int32_t>(0x8002801C); // TYPE_E_REGISTRYACCESS
    const std::string noScript = "locale? locale=2048 script@2048 ";
    struct Case {
        bool unregister, installed, refuse;
        std::optional<std::string> script;
        int32_t result;
        std::string calls;
    };
    const Case cases[] = {
        {false, false, false, realScript(), kResultUnexpected, ""}, // nothing at all
        {false, true, false, realScript(), access, comStep("register")},
        {false, true, false, std::nullopt, kResultFailed, noScript + "locale=1033"},
        {false, true, false, "HKCR {", kResultFailed, noScript + "module locale=1033"},
        {true, true, false, std::nullopt, kResultFailed, noScript + "unregister@2048 locale=1033"},
        {true, false, false, realScript(), access, comStep("unregister")},
        {true, false, true, realScript(), access, comStep("unregister")},
    };
    for (const Case& c : cases) {
        RegistrySandbox sandbox;
        make(RegistryRoot::LocalMachine, kInstallations);
        make(RegistryRoot::LocalMachine, u"Software\\Tandravole\\MediaCenter\\A");
        if (c.installed)
            installations();
        const Lines machine = dump(RegistryRoot::LocalMachine);
        if (c.refuse)
            sandbox.refuseChanges();
        RecordingCom com;
        com.script = c.script;
        com.library = access;
        EXPECT_EQ(c.unregister ? UnregisterPlugin(com) : RegisterPlugin(com, 1), c.result);
        EXPECT_EQ(com.calls, c.calls);
        EXPECT_TRUE(c.unregister != c.refuse || c.installed ||
                    dump(RegistryRoot::LocalMachine) == machine);
        EXPECT_TRUE(c.unregister || c.result == access || dump(RegistryRoot::ClassesRoot).empty());
    }
}

// A name longer than the registry allows for a key cannot be the player's: it is skipped.
TEST(RegistrationTest, AnInstallationNameIsKeptUpToTheLongestKeyName) {
    RegistrySandbox sandbox;
    const std::u16string longest(kMaxInstallationName, u'M');
    make(RegistryRoot::LocalMachine, kInstallations + longest);
    RegistryKey tooLong; // Windows refuses this name itself; the file-backed store keeps it
    (void)tooLong.create(RegistryRoot::LocalMachine, kInstallations + longest + u"M");
    EXPECT_EQ(PlayerInstallations(), std::vector<std::u16string>{longest});
}
