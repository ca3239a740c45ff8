// The file-backed registry store of POSIX: durable writes that never lose the old content,
// damaged files that are reported and kept aside instead of crashing or being overwritten; and
// the file's form: each fault the reader names, and deep key paths, held to as many characters
// of names (parents included) as the largest store file holds, so that reading a file never
// takes time and memory out of proportion to it.
#include "platform/Registry.h"
#include "platform/posix/RegistryStoreFormat.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <thread>
#include <tuple>

using namespace platform;
using namespace platform::store_file;
namespace fs = std::filesystem;

namespace {

// While it lives, no file may grow past the given size (RLIMIT_FSIZE) and SIGXFSZ is ignored, so
// a write fails the way it does on a full disk.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) : handler(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, handler);
    }
    void (*handler)(int);
    rlimit old{};
    bool active = false;
};

using Bytes = std::vector<uint8_t>;
constexpr const char16_t* kKey = u"Software\\StoreTests";

std::string readText(const fs::path& p) {
    std::ostringstream out;
    out << std::ifstream(p, std::ios::binary).rdbuf();
    return out.str();
}

void writeText(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (auto& e : fs::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

bool keyExists(std::u16string_view path) {
    RegistryKey key;
    return key.open(RegistryRoot::CurrentUser, path);
}

// A store file as written by hand: comments, an empty line, escapes, capital hex digits, the
// largest type number.
const std::string kHeader = "# Tandravole registry store: [key], then \"name\"=type:hex bytes\n";
const std::string kKeyLine = "[HKEY_CURRENT_USER\\\\Software\\\\StoreTests]\n";
const std::string kPortLine = "\"port\"=4:2A000000\n";
const std::string kNameLine = "\"t\\\"\\u00E9\"=1:e90000\n";
const std::string kEnd = "# end of store\n";
const std::string kValid =
    kHeader + "# by hand\n\n" + kKeyLine + kPortLine + kNameLine + "\"max\"=4294967295:\n" + kEnd;

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override { reload(); }
    void reload() { setRegistryStoreFile(file.string()); }
    // Writes a file and reads it as the store; the problem it reports.
    std::string loadFile(const std::string& text) {
        fs::create_directories(folder);
        writeText(file, text);
        reload();
        return registryStoreProblem();
    }
    testing_support::TempFolder temp;
    fs::path folder = temp.path / "config" / "tandravole", file = folder / "registry";
};

TEST_F(RegistryStoreTest, FirstWriteCreatesTheFoldersAndEveryNameSurvivesAReload) {
    // Key names cannot hold the separator; value names can.
    const std::u16string odd = u"a\"b]d\u00e9\U0001F3B5";
    RegistryKey key;
    ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, std::u16string(kKey) + u"\\" + odd));
    ASSERT_TRUE(key.writeValue(odd + u"\\", 3, {0x00, 0xFF}));
    ASSERT_TRUE(key.writeValue(u"", 1, {}));
    EXPECT_EQ(entries(folder), std::set<std::string>{"registry"}) << "no temporary file left";

    reload();
    EXPECT_EQ(registryStoreProblem(), "");
    RegistryKey parent;
    ASSERT_TRUE(parent.open(RegistryRoot::CurrentUser, kKey));
    std::u16string sub;
    ASSERT_EQ(parent.enumSubKey(0, sub), RegistryEnum::Ok);
    EXPECT_EQ(sub, odd);
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser, std::u16string(kKey) + u"\\" + odd));
    EXPECT_EQ(key.readBinary(odd + u"\\"), (Bytes{0x00, 0xFF}));
    ASSERT_TRUE(key.readValue(u""));
    EXPECT_EQ(key.readValue(u"")->type, 1u);
    // Opened for reading only, nothing changes.
    EXPECT_FALSE(key.deleteValue(u""));
    EXPECT_FALSE(key.writeDword(u"", 1));
    EXPECT_EQ(key.readValue(u"")->type, 1u);
}

TEST_F(RegistryStoreTest, AWriteThatRunsOutOfSpaceLeavesTheOldStore) {
    RegistryKey key;
    ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
    ASSERT_TRUE(key.writeDword(u"port", 42));
    const std::string before = readText(file);
    {
        FileSizeLimit limit(before.size() + 64);
        ASSERT_TRUE(limit.active);
        EXPECT_FALSE(key.writeBinary(u"big", Bytes(4096, 0xAB)));
        RegistryKey child;
        EXPECT_FALSE(child.create(RegistryRoot::CurrentUser,
                                  std::u16string(kKey) + u"\\" + std::u16string(200, u'k')));
    }
    EXPECT_EQ(readText(file), before);
    EXPECT_EQ(entries(folder), std::set<std::string>{"registry"});
    EXPECT_FALSE(key.readBinary(u"big")) << "memory keeps the old store too";
    EXPECT_EQ(key.readDword(u"port"), 42u);
    EXPECT_FALSE(keyExists(std::u16string(kKey) + u"\\" + std::u16string(200, u'k')));

    ASSERT_TRUE(key.writeBinary(u"big", Bytes(4096, 0xAB)));
    reload();
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(key.readBinary(u"big")->size(), 4096u);
    EXPECT_EQ(key.readDword(u"port"), 42u);
}

// A file with the key HKEY_CURRENT_USER\<a letters>\<b letters>: the names of the three keys
// it makes add up to 17 + (18 + a) + (19 + a + b).
std::string twoLevels(size_t a, size_t b) {
    return kHeader + "[HKEY_CURRENT_USER\\\\" + std::string(a, 'a') + "\\\\" + std::string(b, 'b') +
           "]\n\"v\"=4:01000000\n" + kEnd;
}

// Each fault of a file, as the reader names it; the store reports any of them and keeps the file
// aside in the same way (below). Keys' names, parents included, may add up to the largest store.
TEST(RegistryStoreFormat, EachFaultOfAFileIsNamedWithItsLine) {
    const size_t a = (kMaxStoreSize - 56) / 2; // 54 + 2a + 2 is exactly the limit
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 20000; ++i)
        deep += "\\\\k";
    auto replaced = [](const std::string& line, const std::string& by) {
        std::string text = kValid;
        text.replace(text.find(line), line.size(), by);
        return text;
    };
    // What is wrong, the file, and how the reader names the fault.
    const std::tuple<const char*, std::string, const char*> damaged[] = {
        {"empty", "", "empty"},
        {"not ours", "hello\n", "line 1: not a registry store"},
        {"no end line", replaced(kEnd, ""), "the end line is missing"},
        {"cut inside a line", kValid.substr(0, kValid.find(kPortLine) + 8), "middle of a line"},
        {"text after the end", kValid + kKeyLine, "line 9: text after the end"},
        {"odd hex digits", replaced(kPortLine, "\"port\"=4:2a00000\n"), "line 5: malformed value"},
        {"bad hex digit", replaced(kPortLine, "\"port\"=4:2g000000\n"), "line 5: malformed value"},
        {"no type", replaced(kPortLine, "\"port\"=:2a000000\n"), "line 5: malformed value"},
        {"type too large", replaced(kPortLine, "\"port\"=4294967296:00\n"), "line 5: malformed"},
        {"no equals sign", replaced(kPortLine, "\"port\":4:2a000000\n"), "line 5: malformed"},
        {"value before any key", replaced(kKeyLine, ""), "line 4: value before any key"},
        {"unknown root", replaced(kKeyLine, "[HKEY_ELSEWHERE\\\\Software]\n"),
         "line 4: key outside"},
        {"unknown escape", replaced(kKeyLine, "[HKEY_CURRENT_USER\\\\So\\qftware]\n"),
         "line 4: malformed key"},
        {"text after a key", replaced(kKeyLine, "[HKEY_CURRENT_USER\\\\Software]x\n"),
         "line 4: malformed key"},
        {"short \\u escape", replaced(kNameLine, "\"t\\u00e\"=1:00\n"), "line 6: malformed value"},
        {"control character", replaced(kNameLine, "\"t\tx\"=1:00\n"), "line 6: malformed value"},
        {"raw non-ASCII", replaced(kNameLine, "\"t\xc3\xa9\"=1:00\n"), "line 6: malformed value"},
        {"unterminated name", replaced(kNameLine, "\"t=1:00\n"), "line 6: malformed value"},
        {"unknown line", replaced(kNameLine, "port=42\n"), "line 6: neither a key, a value"},
        {"names one past the limit", twoLevels(a, 3), "line 2: keys nested too deep"},
        // 20,000 levels of one letter: some 400 million characters of parents from 40 kB.
        {"a deep path", kHeader + deep + "]\n" + kEnd, "line 2: keys nested too deep"},
    };
    for (const auto& [what, text, why] : damaged) {
        KeyMap keys;
        std::string problem;
        EXPECT_FALSE(parseStore(text, keys, problem)) << what;
        EXPECT_NE(problem.find(why), std::string::npos) << what << ": " << problem;
    }
    KeyMap keys;
    std::string problem;
    EXPECT_TRUE(parseStore(twoLevels(a, 2), keys, problem)) << problem;
    EXPECT_EQ(keys.size(), 3u);
}

// A well-formed file loads as written, with either line end, up to exactly the largest size.
TEST_F(RegistryStoreTest, AWellFormedFileLoadsAsWrittenUnlessLargerThanAnyStore) {
    std::string crlf;
    for (char c : kValid)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(loadFile(crlf), "");
    EXPECT_TRUE(keyExists(kKey));
    auto ofSize = [](size_t size) {
        return kHeader + "#" + std::string(size - kValid.size() - 2, 'x') + "\n" +
               kValid.substr(kHeader.size());
    };
    const std::string atLimit = ofSize(16u << 20);
    ASSERT_EQ(atLimit.size(), 16u << 20);
    EXPECT_EQ(loadFile(atLimit), "");
    RegistryKey key;
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(key.readDword(u"port"), 42u);
    EXPECT_EQ(key.readString(u"t\"\u00e9"), u"\u00e9");
    ASSERT_TRUE(key.readValue(u"max"));
    EXPECT_EQ(key.readValue(u"max")->type, 0xFFFFFFFFu);
    EXPECT_NE(loadFile(ofSize((16u << 20) + 1)).find("larger"), std::string::npos);
    EXPECT_FALSE(keyExists(kKey));
}

// A damaged file is reported and moved aside under the next free name, never overwritten; the
// store starts empty and the next write starts a new file.
TEST_F(RegistryStoreTest, DamagedFilesAreKeptAsideUnderTheNextFreeNameAndNeverOverwritten) {
    const std::string unended = kValid.substr(0, kValid.size() - kEnd.size());
    const std::string aside = file.string() + ".damaged";
    std::string problem = loadFile(unended);
    EXPECT_NE(problem.find(file.string() + ": damaged (the end line is missing"), std::string::npos)
        << problem;
    EXPECT_NE(problem.find("kept as " + aside + ", the store starts empty"), std::string::npos)
        << problem;
    EXPECT_FALSE(keyExists(u"Software"));
    EXPECT_FALSE(fs::exists(file));
    RegistryKey key;
    ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
    ASSERT_TRUE(key.writeDword(u"port", 7));
    reload();
    EXPECT_EQ(registryStoreProblem(), "");
    EXPECT_EQ(key.readDword(u"port"), 7u);
    EXPECT_EQ(readText(aside), unended);

    EXPECT_NE(loadFile("second\n").find("kept as " + aside + ".1"), std::string::npos);
    EXPECT_EQ(readText(aside + ".1"), "second\n");
    // With every name taken the file stays where it is, and so does the store: writes fail.
    for (int n = 2; n < 100; ++n)
        writeText(aside + "." + std::to_string(n), "");
    problem = loadFile("third\n");
    EXPECT_NE(problem.find("could not be moved aside"), std::string::npos) << problem;
    EXPECT_FALSE(key.create(RegistryRoot::CurrentUser, kKey));
    EXPECT_EQ(readText(file), "third\n");
    EXPECT_EQ(entries(folder).size(), 101u);
}

TEST_F(RegistryStoreTest, WritersOnSeveralThreadsAllLand) {
    RegistryKey key;
    ASSERT_TRUE(key.create(RegistryRoot::CurrentUser, kKey));
    auto name = [](uint32_t n) { return u"v" + std::u16string(1, char16_t(u'a' + n)); };
    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            RegistryKey own;
            own.open(RegistryRoot::CurrentUser, kKey, true);
            for (uint32_t n = t; n < 32; n += 4)
                own.writeDword(name(n), n);
        });
    for (auto& th : threads)
        th.join();
    reload();
    ASSERT_TRUE(key.open(RegistryRoot::CurrentUser, kKey));
    for (uint32_t n = 0; n < 32; ++n)
        EXPECT_EQ(key.readDword(name(n)), n);
    EXPECT_EQ(entries(folder), std::set<std::string>{"registry"});
}

TEST(RegistryStoreFormat, KeysAndTheirMissingParentsAreAddedOnlyWhereTheirNamesFit) {
    // "HKEY_CURRENT_USER\\A\\B" is 21 characters, its parents 19 and 17: 57 in all. Each row: a key
    // created beforehand without limit ("" for none), the path, the room; whether it is created,
    // the room left and the keys then.
    using Row =
        std::tuple<const char*, std::u16string, std::u16string, size_t, bool, size_t, size_t>;
    const std::u16string a = u"HKEY_CURRENT_USER\\A", ab = a + u"\\B";
    const Row cases[] = {
        {"the key and both parents, exactly in room", u"", ab, 57, true, 0, 3},
        {"one character short: nothing added", u"", ab, 56, false, 56, 0},
        {"an existing parent ends the walk", a, ab, 21, true, 0, 3},
        {"the key alone one short", a, ab, 20, false, 20, 2},
        {"a parent found whatever its letters' case", u"hkey_current_user\\a", ab, 21, true, 0, 3},
        {"an existing key costs nothing", ab, u"hkey_current_user\\a\\b", 0, true, 0, 3},
    };
    for (const auto& [what, existing, path, room, created, roomLeft, keysAfter] : cases) {
        SCOPED_TRACE(what);
        KeyMap keys;
        if (!existing.empty())
            createIn(keys, existing);
        size_t left = room;
        StoredKey* key = createIn(keys, path, left);
        EXPECT_EQ(key != nullptr, created);
        EXPECT_EQ(left, roomLeft);
        EXPECT_EQ(keys.size(), keysAfter);
        if (key) {
            EXPECT_TRUE(sameName(key->path, path));
            EXPECT_NE(findIn(keys, a), nullptr);
            EXPECT_NE(findIn(keys, u"HKEY_CURRENT_USER"), nullptr);
        }
    }
}

} // namespace
