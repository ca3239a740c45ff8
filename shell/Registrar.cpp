#include "shell/Registrar.h"

#include "common/Utf.h"

#include <algorithm>

using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryType;

namespace shell {
namespace {

// ---- reading ---------------------------------------------------------------------------------

struct Token {
    enum Kind { Word, Quoted, Open, Close, Equals, End } kind = End;
    std::u16string text; // a word or the quoted text without its quotes ('' made one quote)
    int line = 1;
};

char16_t asciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

bool sameAsciiName(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char16_t x, char16_t y) { return asciiLower(x) == asciiLower(y); });
}

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

std::string lineText(int line) {
    return "line " + std::to_string(line) + ": ";
}

// How an error names a token: its text as written, shortened, or the end of the script.
std::string describe(const Token& t) {
    switch (t.kind) {
    case Token::End:
        return "the end of the script";
    case Token::Open:
        return "'{'";
    case Token::Close:
        return "'}'";
    case Token::Equals:
        return "'='";
    case Token::Word:
    case Token::Quoted:
        break;
    }
    constexpr size_t kShown = 40;
    std::u16string shown = t.text.substr(0, kShown);
    std::string text = utf16ToUtf8(shown);
    if (text.empty() && !shown.empty())
        text = "?"; // half of a surrogate pair was cut off
    return "'" + text + (t.text.size() > kShown ? "...'" : "'");
}

// The script as UTF-16: a leading byte order mark and trailing NUL bytes dropped; a NUL
// inside or a line that is not UTF-8 is an error naming its line.
bool decodeScript(std::string_view script, std::u16string& out, std::string& error) {
    if (script.starts_with("\xEF\xBB\xBF"))
        script.remove_prefix(3);
    while (!script.empty() && script.back() == '\0')
        script.remove_suffix(1);
    int line = 1;
    for (size_t start = 0; start <= script.size(); ++line) {
        size_t end = std::min(script.find('\n', start), script.size());
        std::string_view bytes = script.substr(start, end - start);
        if (bytes.find('\0') != std::string_view::npos) {
            error = lineText(line) + "a NUL byte inside the script";
            return false;
        }
        std::u16string text = utf8ToUtf16(bytes);
        if (text.empty() && !bytes.empty()) {
            error = lineText(line) + "not valid UTF-8";
            return false;
        }
        out += text;
        if (end < script.size())
            out += u'\n';
        start = end + 1;
    }
    return true;
}

bool tokenize(std::u16string_view text, std::vector<Token>& tokens, std::string& error) {
    int line = 1;
    size_t i = 0;
    while (true) {
        while (i < text.size() && isSpace(text[i]))
            line += text[i++] == u'\n';
        Token t;
        t.line = line;
        if (i == text.size()) {
            // The end is where the last token stands, not on the empty line after it.
            t.line = tokens.empty() ? 1 : tokens.back().line;
            tokens.push_back(std::move(t));
            return true;
        }
        if (text[i] == u'\'') {
            t.kind = Token::Quoted;
            for (++i;; ++i) {
                if (i == text.size()) {
                    error = lineText(t.line) + "expected the closing quote of the text begun here";
                    return false;
                }
                if (text[i] == u'\'') {
                    if (i + 1 < text.size() && text[i + 1] == u'\'') {
                        t.text += u'\'';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                line += text[i] == u'\n';
                t.text += text[i];
            }
            if (i < text.size() && !isSpace(text[i])) {
                error = lineText(line) + "expected white space after the closing quote";
                return false;
            }
        } else {
            while (i < text.size() && !isSpace(text[i]))
                t.text += text[i++];
            if (t.text == u"{")
                t.kind = Token::Open;
            else if (t.text == u"}")
                t.kind = Token::Close;
            else if (t.text == u"=")
                t.kind = Token::Equals;
            else
                t.kind = Token::Word;
        }
        tokens.push_back(std::move(t));
    }
}

// "%NAME%" replaced, "%%" made one percent sign.
bool replace(std::u16string_view in, const RegistrarReplacements& replacements, std::u16string& out,
             std::string& why) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != u'%') {
            out += in[i];
            continue;
        }
        size_t close = in.find(u'%', i + 1);
        if (close == std::u16string_view::npos) {
            why = "a '%' without its closing '%' (write %% for a percent sign)";
            return false;
        }
        std::u16string name(in.substr(i + 1, close - i - 1));
        if (name.empty()) {
            out += u'%';
        } else {
            auto found = replacements.find(name);
            if (found == replacements.end()) {
                why = "unknown replacement %" + utf16ToUtf8(name) + "%";
                return false;
            }
            out += found->second;
        }
        i = close;
    }
    return true;
}

struct RootName {
    std::u16string_view shortName, longName;
    RegistryRoot root;
};
constexpr RootName kRoots[] = {
    {u"HKCR", u"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {u"HKCU", u"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {u"HKLM", u"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
};

class Parser {
public:
    Parser(std::vector<Token> tokens, const RegistrarReplacements& replacements)
        : tokens_(std::move(tokens)), replacements_(replacements) {}

    bool script(RegistrarScript& out) {
        while (peek().kind != Token::End) {
            out.roots.emplace_back();
            if (!rootBlock(out.roots.back()))
                return false;
        }
        return true;
    }
    const std::string& error() const { return error_; }

private:
    const Token& peek() const { return tokens_[pos_]; }
    const Token& next() {
        const Token& t = tokens_[pos_];
        if (t.kind != Token::End)
            ++pos_;
        return t;
    }
    bool fail(const Token& at, const std::string& what) {
        error_ = lineText(at.line) + what;
        return false;
    }
    bool expected(const Token& at, const std::string& what) {
        return fail(at, "expected " + what + ", found " + describe(at));
    }
    static bool isWord(const Token& t, std::u16string_view word) {
        return t.kind == Token::Word && sameAsciiName(t.text, word);
    }
    // Replaces in a word or quoted text; false for any other token.
    bool text(const Token& t, std::u16string& out) {
        std::string why;
        if (!replace(t.text, replacements_, out, why))
            return fail(t, why);
        return true;
    }

    bool rootBlock(RegistrarRootBlock& out) {
        const Token& name = next();
        const RootName* root = nullptr;
        for (const RootName& r : kRoots)
            if (isWord(name, r.shortName) || isWord(name, r.longName))
                root = &r;
        if (!root)
            return expected(name, "a root key (HKCR, HKCU, HKLM)");
        out.root = root->root;
        const Token& open = next();
        if (open.kind != Token::Open)
            return expected(open, "'{' after " + utf16ToUtf8(name.text));
        return body(out.keys, nullptr, 1, utf16ToUtf8(name.text));
    }

    // Keys (and, inside a key, val values) up to the closing brace.
    bool body(std::vector<RegistrarKey>& keys, std::vector<RegistrarValue>* values, int depth,
              const std::string& owner) {
        while (peek().kind != Token::Close) {
            if (peek().kind == Token::End)
                return expected(peek(), "'}' to close " + owner);
            if (values && isWord(peek(), u"val")) {
                values->emplace_back();
                if (!value(values->back()))
                    return false;
            } else {
                keys.emplace_back();
                if (!key(keys.back(), depth))
                    return false;
            }
        }
        next();
        return true;
    }

    bool key(RegistrarKey& out, int depth) {
        const Token* t = &next();
        if (depth > kMaxRegistrarDepth)
            return fail(*t,
                        "keys nested more than " + std::to_string(kMaxRegistrarDepth) + " deep");
        std::string after;
        if (isWord(*t, u"ForceRemove") || isWord(*t, u"NoRemove")) {
            out.flag =
                isWord(*t, u"NoRemove") ? RegistrarFlag::NoRemove : RegistrarFlag::ForceRemove;
            after = " after " + utf16ToUtf8(t->text);
            t = &next();
        }
        bool keyword = isWord(*t, u"ForceRemove") || isWord(*t, u"NoRemove") ||
                       isWord(*t, u"val") || isWord(*t, u"Delete");
        if ((t->kind != Token::Word && t->kind != Token::Quoted) || keyword)
            return expected(*t, "a key name" + after);
        if (!text(*t, out.name))
            return false;
        if (out.name.empty())
            return fail(*t, "a key name cannot be empty");
        if (out.name.find(u'\\') != std::u16string::npos)
            return fail(*t, "a key name cannot hold a backslash: " + describe(*t));
        if (peek().kind == Token::Equals) {
            next();
            out.hasDefault = true;
            if (!data(out.defaultValue))
                return false;
        }
        if (peek().kind != Token::Open)
            return true;
        next();
        return body(out.keys, &out.values, depth + 1, "the key " + utf16ToUtf8(out.name));
    }

    bool value(RegistrarValue& out) {
        next(); // val
        const Token& name = next();
        if (name.kind != Token::Word && name.kind != Token::Quoted)
            return expected(name, "a value name after val");
        if (!text(name, out.name))
            return false;
        if (out.name.empty())
            return fail(name, "a value name cannot be empty (a key's own value is written "
                              "after its name: Key = s 'text')");
        if (peek().kind != Token::Equals)
            return expected(peek(), "'=' after the value name " + describe(name));
        next();
        return data(out.data);
    }

    bool data(RegistrarData& out) {
        const Token& type = next();
        bool isString = isWord(type, u"s");
        if (!isString && !isWord(type, u"d"))
            return expected(type, "s or d (the value's type)");
        const Token& content = next();
        if (content.kind != Token::Word && content.kind != Token::Quoted)
            return expected(content, isString ? "the text after s" : "the number after d");
        std::u16string value;
        if (!text(content, value))
            return false;
        if (isString) {
            out.type = RegistryType::String;
            out.text = std::move(value);
            return true;
        }
        out.type = RegistryType::Dword;
        if (!number(value, out.number))
            return expected(content, "a number from 0 to 4294967295 after d");
        return true;
    }

    // Decimal, or hexadecimal after 0x; nothing else, and nothing beyond 32 bits.
    static bool number(std::u16string_view s, uint32_t& out) {
        unsigned base = 10;
        if (s.size() > 2 && s[0] == u'0' && asciiLower(s[1]) == u'x') {
            base = 16;
            s.remove_prefix(2);
        }
        if (s.empty())
            return false;
        uint64_t v = 0;
        for (char16_t c : s) {
            char16_t l = asciiLower(c);
            unsigned digit;
            if (l >= u'0' && l <= u'9')
                digit = unsigned(l - u'0');
            else if (base == 16 && l >= u'a' && l <= u'f')
                digit = unsigned(l - u'a' + 10);
            else
                return false;
            v = v * base + digit;
            if (v > 0xFFFFFFFFu)
                return false;
        }
        out = uint32_t(v);
        return true;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
    const RegistrarReplacements& replacements_;
    std::string error_;
};

// ---- writing and removing ----------------------------------------------------------------------

std::u16string childPath(std::u16string_view parent, std::u16string_view name) {
    std::u16string path(parent);
    if (!path.empty())
        path += u'\\';
    return path += name;
}

bool writeData(RegistryKey& key, std::u16string_view name, const RegistrarData& data) {
    if (data.type == RegistryType::Dword)
        return key.writeDword(name, data.number);
    return key.writeString(name, data.text);
}

// Whether unregistering must keep something below this key: it is NoRemove itself, or it is a
// plain key with such a key below it. A ForceRemove key protects nothing.
bool protects(const RegistrarKey& key) {
    if (key.flag != RegistrarFlag::None)
        return key.flag == RegistrarFlag::NoRemove;
    return std::any_of(key.keys.begin(), key.keys.end(), protects);
}

class Applier {
public:
    explicit Applier(RegistryRoot root) : root_(root) {}

    bool registerKey(std::u16string_view parent, const RegistrarKey& node) {
        std::u16string path = childPath(parent, node.name);
        if (node.flag == RegistrarFlag::ForceRemove && exists(path) &&
            !platform::deleteRegistryTree(root_, path))
            return fail("cannot remove " + where(path) + " to write it anew");
        RegistryKey key;
        if (!key.create(root_, path))
            return fail("cannot create " + where(path));
        if (node.hasDefault && !writeData(key, u"", node.defaultValue))
            return fail("cannot write the value of " + where(path));
        for (const RegistrarValue& v : node.values)
            if (!writeData(key, v.name, v.data))
                return fail("cannot write the value " + utf16ToUtf8(v.name) + " of " + where(path));
        for (const RegistrarKey& child : node.keys)
            if (!registerKey(path, child))
                return false;
        return true;
    }

    void unregisterKey(std::u16string_view parent, const RegistrarKey& node) {
        std::u16string path = childPath(parent, node.name);
        if (!exists(path))
            return;
        if (!protects(node)) {
            removeTree(path);
            return;
        }
        RegistryKey key;
        if (!key.open(root_, path, true)) {
            fail("cannot open " + where(path) + " to remove from it");
            return;
        }
        if (node.flag == RegistrarFlag::NoRemove) {
            for (const RegistrarValue& v : node.values)
                removeValue(key, path, v.name);
            for (const RegistrarKey& child : node.keys)
                unregisterKey(path, child);
            return;
        }
        // A plain key that holds a NoRemove key: everything but the way there goes.
        std::vector<std::u16string> values, subKeys;
        platform::RegistryValue value;
        for (uint32_t i = 0; key.enumValue(i, value) == platform::RegistryEnum::Ok; ++i)
            values.push_back(value.name);
        std::u16string name;
        for (uint32_t i = 0; key.enumSubKey(i, name) == platform::RegistryEnum::Ok; ++i)
            subKeys.push_back(name);
        for (const std::u16string& v : values)
            removeValue(key, path, v);
        for (const std::u16string& sub : subKeys) {
            bool kept = false;
            for (const RegistrarKey& child : node.keys)
                if (sameAsciiName(child.name, sub) && protects(child)) {
                    unregisterKey(path, child);
                    kept = true;
                }
            if (!kept)
                removeTree(childPath(path, sub));
        }
    }

    const std::string& error() const { return error_; }

private:
    bool exists(std::u16string_view path) const {
        RegistryKey key;
        return key.open(root_, path);
    }
    void removeTree(const std::u16string& path) {
        if (!platform::deleteRegistryTree(root_, path) && exists(path))
            fail("cannot remove " + where(path));
    }
    void removeValue(RegistryKey& key, std::u16string_view path, std::u16string_view name) {
        if (key.readValue(name) && !key.deleteValue(name))
            fail("cannot remove the value " + utf16ToUtf8(name) + " of " + where(path));
    }
    std::string where(std::u16string_view path) const {
        std::u16string full;
        for (const RootName& r : kRoots)
            if (r.root == root_)
                full = r.longName;
        return utf16ToUtf8(childPath(full, path));
    }
    // Keeps the first failure.
    bool fail(const std::string& what) {
        if (error_.empty())
            error_ = what;
        return false;
    }

    RegistryRoot root_;
    std::string error_;
};

} // namespace

RegistrarResult parseRegistrationScript(std::string_view script,
                                        const RegistrarReplacements& replacements,
                                        RegistrarScript& out) {
    out = {};
    std::u16string text;
    std::vector<Token> tokens;
    std::string error;
    if (!decodeScript(script, text, error) || !tokenize(text, tokens, error))
        return {false, error};
    Parser parser(std::move(tokens), replacements);
    RegistrarScript parsed;
    if (!parser.script(parsed))
        return {false, parser.error()};
    out = std::move(parsed);
    return {};
}

RegistrarResult applyRegistrationScript(const RegistrarScript& script, RegistrarMode mode) {
    std::string firstError;
    for (const RegistrarRootBlock& block : script.roots) {
        Applier applier(block.root);
        for (const RegistrarKey& key : block.keys) {
            if (mode == RegistrarMode::Unregister) {
                applier.unregisterKey(u"", key);
            } else if (!applier.registerKey(u"", key)) {
                return {false, applier.error()};
            }
        }
        if (firstError.empty())
            firstError = applier.error();
    }
    return {firstError.empty(), firstError};
}

RegistrarResult runRegistrationScript(std::string_view script, RegistrarMode mode,
                                      const RegistrarReplacements& replacements) {
    RegistrarScript parsed;
    RegistrarResult result = parseRegistrationScript(script, replacements, parsed);
    return result.ok ? applyRegistrationScript(parsed, mode) : result;
}

} // namespace shell
