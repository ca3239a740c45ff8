// The registrar: every construct registered and unregistered around keys and values that are
// not the script's, the forms a script may take, the reader's errors (line and expectation,
// nothing written), and a write that fails.
#include "shell/Registrar.h"
#include "tests/shell/RegistrySandbox.h"

#include <gtest/gtest.h>

using namespace shell;
using platform::RegistryRoot;
using namespace shell_tests;

namespace {

const RegistrarReplacements kReplacements = {{u"WHO", u"Carvelin"},
                                             {u"MODULE", u"C:\\O'Brien\\{x} 100%.dll"}};

// Both spellings of a root, bare and quoted names, '' inside quotes, default and val values of
// both types, ForceRemove, NoRemove (any case), a plain key above a NoRemove key and one
// without, replacements (their text is not read again) and %%.
constexpr char kEveryConstruct[] = R"(HKCU
{
	NoRemove Software
	{
		noremove 'Tandravole'
		{
			Plain = s '%WHO% at 100%%'
			{
				val Count = d '0x2F'
				val 'It''s' = s '%MODULE%'
				Number = d 4294967295
				ForceRemove Fresh = s 'new'
				{
					Leaf
				}
				NoRemove Shared
				{
					val Mine = s 'mine'
					Gone
				}
			}
			Whole = d '7'
		}
	}
}
hkey_local_machine { NoRemove Software { {6074938C-0000} = s '%%%WHO%%%' } }
)";

} // namespace

TEST(RegistrarTest, EveryConstructRegistersAndUnregistersAroundWhatIsNotTheScripts) {
    RegistrySandbox sandbox;
    // Not the script's: a neighbour; a value and a key below the plain key; a stale key below
    // the ForceRemove key; a value and a key below the NoRemove key; a tree below a plain key.
    for (const char16_t* path :
         {u"Software\\Neighbour", u"Software\\Tandravole\\Plain",
          u"Software\\Tandravole\\Plain\\Shared", u"Software\\Tandravole\\Plain\\Unknown",
          u"Software\\Tandravole\\Plain\\Fresh\\Stale",
          u"Software\\Tandravole\\Plain\\Shared\\Others",
          u"Software\\Tandravole\\Whole\\Deep\\Deeper"}) {
        platform::RegistryKey key;
        ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, path));
        key.writeString(u"theirs", u"x");
    }
    const std::string t = "Software\\Tandravole";
    const Lines registered = {
        "Software",
        "Software\\Neighbour theirs='x'",
        t,
        t + "\\Plain @='Carvelin at 100%' Count=47 It's='C:\\O'Brien\\{x} 100%.dll' theirs='x'",
        t + "\\Plain\\Fresh @='new'",
        t + "\\Plain\\Fresh\\Leaf",
        t + "\\Plain\\Number @=4294967295",
        t + "\\Plain\\Shared Mine='mine' theirs='x'",
        t + "\\Plain\\Shared\\Gone",
        t + "\\Plain\\Shared\\Others theirs='x'",
        t + "\\Plain\\Unknown theirs='x'",
        t + "\\Whole @=7",
        t + "\\Whole\\Deep",
        t + "\\Whole\\Deep\\Deeper theirs='x'",
    };
    const Lines unregistered = {
        "Software",    "Software\\Neighbour theirs='x'", t,
        t + "\\Plain", t + "\\Plain\\Shared theirs='x'", t + "\\Plain\\Shared\\Others theirs='x'"};
    // The script again as a resource may hold it: a byte order mark, Windows line ends,
    // trailing NULs.
    std::string windows = "\xEF\xBB\xBF";
    for (char c : std::string(kEveryConstruct))
        windows += c == '\n' ? std::string("\r\n") : std::string(1, c);
    windows += std::string(3, '\0');
    // Twice each: registering again changes nothing, what is gone already is skipped.
    const std::string plain = kEveryConstruct;
    for (const auto& [mode, script] : {std::pair{RegistrarMode::Register, plain},
                                       {RegistrarMode::Register, windows},
                                       {RegistrarMode::Unregister, windows},
                                       {RegistrarMode::Unregister, plain}}) {
        RegistrarResult r = runRegistrationScript(script, mode, kReplacements);
        ASSERT_TRUE(r.ok) << r.error;
        bool on = mode == RegistrarMode::Register;
        EXPECT_EQ(dump(RegistryRoot::CurrentUser), on ? registered : unregistered);
        const Lines machine =
            on ? Lines{"Software", "Software\\{6074938C-0000} @='%Carvelin%'"} : Lines{"Software"};
        EXPECT_EQ(dump(RegistryRoot::LocalMachine), machine);
    }
}

TEST(RegistrarTest, AScriptThatDoesNotParseOrCannotWriteNamesWhereAndWritesNothing) {
    RegistrySandbox sandbox;
    const std::string ok = "HKCU { Written }\n"; // a key that would be written first
    const std::string number = "expected a number from 0 to 4294967295 after d, found ";
    const std::pair<std::string, std::string> cases[] = {
        {"Software { }", "line 2: expected a root key (HKCR, HKCU, HKLM), found 'Software'"},
        {"HKCU Key", "line 2: expected '{' after HKCU, found 'Key'"},
        {"HKCU {\n K\n", "line 3: expected '}' to close HKCU, found the end of the script"},
        {"HKCU { K {", "line 2: expected '}' to close the key K, found the end of the script"},
        {"HKCU {\n K = x 'a' }", "line 3: expected s or d (the value's type), found 'x'"},
        {"HKCU { '' }", "line 2: a key name cannot be empty"},
        {"HKCU { K = d '12x' }", "line 2: " + number + "'12x'"},
        {"HKCU { K = d 0x100000000 }", "line 2: " + number + "'0x100000000'"},
        {"HKCU { K = d '' }", "line 2: " + number + "''"},
        {"HKCU { val X = s 'a' }", "line 2: expected a key name, found 'val'"},
        {"HKCU { NoRemove ForceRemove K }",
         "line 2: expected a key name after NoRemove, found 'ForceRemove'"},
        {"HKCU { K { val X s 'a' } }", "line 2: expected '=' after the value name 'X', found 's'"},
        {"HKCU { K { val '' = s 'a' } }",
         "line 2: a value name cannot be empty (a key's own value is written after its name: "
         "Key = s 'text')"},
        {"HKCU { 'a\\b' }", "line 2: a key name cannot hold a backslash: 'a\\b'"},
        {"HKCU {\n 'abc\n}", "line 3: expected the closing quote of the text begun here"},
        {"HKCU { 'a'b }", "line 2: expected white space after the closing quote"},
        {"HKCU { K = s '%NOPE%' }", "line 2: unknown replacement %NOPE%"},
        {"HKCU { %WHO%% }", "line 2: a '%' without its closing '%' (write %% for a percent sign)"},
        {"HKCU {\n '\xff' }", "line 3: not valid UTF-8"},
        {std::string("HKCU {\0}", 8), "line 2: a NUL byte inside the script"},
        {"HKCU " + std::string(45, 'w'),
         "line 2: expected '{' after HKCU, found '" + std::string(40, 'w') + "...'"},
    };
    for (const auto& [script, error] : cases) {
        RegistrarScript parsed;
        parsed.roots.emplace_back();
        EXPECT_EQ(parseRegistrationScript(ok + script, kReplacements, parsed).error, error);
        EXPECT_TRUE(parsed.roots.empty()) << script;
        RegistrarResult r = runRegistrationScript(ok + script, RegistrarMode::Register, {});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(dump(RegistryRoot::CurrentUser), Lines{}) << script;
    }
    auto nested = [](int depth) {
        std::string script = "HKCU {";
        for (int i = 0; i < depth; ++i)
            script += " K {";
        for (int i = 0; i <= depth; ++i)
            script += " }";
        return script;
    };
    RegistrarScript parsed;
    EXPECT_TRUE(parseRegistrationScript(nested(kMaxRegistrarDepth), {}, parsed).ok);
    EXPECT_EQ(parseRegistrationScript(nested(kMaxRegistrarDepth + 1), {}, parsed).error,
              "line 1: keys nested more than 32 deep");
    sandbox.refuseChanges(); // a write that fails names the key
    EXPECT_EQ(runRegistrationScript("HKCU { First { Second } }", RegistrarMode::Register, {}).error,
              "cannot create HKEY_CURRENT_USER\\First");
}
