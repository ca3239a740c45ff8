// The registrar's script reader, parse only (nothing is written to any registry). Checked:
// - a script that reads gives keys with names that are not empty and hold no backslash, no
//   deeper than the limit;
// - writing the tree out again in the script language (every name and text quoted, quotes
//   doubled, percent signs doubled) reads back to the same tree;
// - a script that does not read leaves the tree empty and says on which line.
#include "common/Utf.h"
#include "shell/Registrar.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace shell;

namespace {

const RegistrarReplacements kReplacements = {
    {u"MODULE", u"C:\\Program Files\\O'Brien {x}\\Tandravole.dll"},
    {u"APPID", u"{6074938c-fcde-4324-aaa7-f0fdfe563cd4}"},
    {u"P", u"%"},
};

std::u16string quoted(std::u16string_view text) {
    std::u16string out = u"'";
    for (char16_t c : text) {
        if (c == u'\'' || c == u'%')
            out += c; // doubled
        out += c;
    }
    return out + u"'";
}

std::u16string dataText(const RegistrarData& d) {
    if (d.type == platform::RegistryType::Dword) {
        std::string n = std::to_string(d.number);
        return u"d " + std::u16string(n.begin(), n.end());
    }
    return u"s " + quoted(d.text);
}

void writeKey(const RegistrarKey& key, int depth, std::u16string& out) {
    FUZZ_CHECK(depth <= kMaxRegistrarDepth);
    FUZZ_CHECK(!key.name.empty() && key.name.find(u'\\') == std::u16string::npos);
    if (key.flag != RegistrarFlag::None)
        out += key.flag == RegistrarFlag::NoRemove ? u"NoRemove " : u"ForceRemove ";
    out += quoted(key.name);
    if (key.hasDefault)
        out += u" = " + dataText(key.defaultValue);
    out += u"\n{\n";
    for (const RegistrarValue& v : key.values) {
        FUZZ_CHECK(!v.name.empty());
        out += u"val " + quoted(v.name) + u" = " + dataText(v.data) + u"\n";
    }
    for (const RegistrarKey& child : key.keys)
        writeKey(child, depth + 1, out);
    out += u"}\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    RegistrarScript parsed;
    RegistrarResult result = parseRegistrationScript(script, kReplacements, parsed);
    if (!result.ok) {
        FUZZ_CHECK(parsed.roots.empty());
        FUZZ_CHECK(result.error.starts_with("line "));
        return 0;
    }
    std::u16string text;
    for (const RegistrarRootBlock& block : parsed.roots) {
        text += block.root == platform::RegistryRoot::ClassesRoot   ? u"HKEY_CLASSES_ROOT\n{\n"
                : block.root == platform::RegistryRoot::CurrentUser ? u"HKEY_CURRENT_USER\n{\n"
                                                                    : u"HKEY_LOCAL_MACHINE\n{\n";
        for (const RegistrarKey& key : block.keys)
            writeKey(key, 1, text);
        text += u"}\n";
    }
    // A lone surrogate (from an encoded one in the input) has no UTF-8 form to write it in.
    const std::string written = utf16ToUtf8(text);
    if (written.empty())
        return 0;
    RegistrarScript again;
    RegistrarResult reread = parseRegistrationScript(written, {}, again);
    if (!reread.ok)
        std::fprintf(stderr, "%s\n", reread.error.c_str());
    FUZZ_CHECK(reread.ok);
    FUZZ_CHECK(again.roots == parsed.roots);
    return 0;
}
