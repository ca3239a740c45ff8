// The parser of the player's search language (grammar in Search.h): one pass over
// the text, recursive descent with a depth limit, errors with their column.
#include "medialib/SearchNode.h"

#include "medialib/TextFold.h"

namespace medialib {

namespace {

std::string narrow(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out += (c < 0x80) ? char(c) : '?';
    return out;
}

std::optional<int64_t> parseNumber(std::u16string_view s) {
    if (s.empty() || s.size() > 18)
        return std::nullopt;
    size_t i = 0;
    bool negative = false;
    if (s[0] == u'-' || s[0] == u'+') {
        negative = s[0] == u'-';
        i = 1;
    }
    if (i == s.size())
        return std::nullopt;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < u'0' || s[i] > u'9')
            return std::nullopt;
        v = v * 10 + (s[i] - u'0');
    }
    return negative ? -v : v;
}

bool isSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

class Parser {
public:
    using Node = SearchQuery::Node;

    Parser(std::u16string_view text, SearchError* error) : s_(text), error_(error) {}

    std::u16string_view s_;
    size_t pos_ = 0;
    SearchError* error_;
    bool failed_ = false;

    std::vector<const FieldInfo*> sortFields;
    std::vector<const FieldInfo*> nodupFields;
    std::optional<int64_t> limit;
    bool sawModifier = false;
    int nesting_ = 0;
    static constexpr int kMaxNesting = 64;

    bool fail(size_t at, std::string message) {
        if (!failed_ && error_) {
            error_->column = at + 1;
            error_->message = std::move(message);
        }
        failed_ = true;
        return false;
    }

    void skipSpace() {
        while (pos_ < s_.size() && isSpace(s_[pos_]))
            ++pos_;
    }
    bool atEnd() const { return pos_ >= s_.size(); }

    // A keyword stands alone: followed by whitespace or the end.
    bool atKeyword(std::u16string_view word) const {
        if (pos_ + word.size() > s_.size())
            return false;
        if (!equalsFolded(s_.substr(pos_, word.size()), word))
            return false;
        size_t after = pos_ + word.size();
        return after == s_.size() || isSpace(s_[after]);
    }

    // An expression up to the end (depth 0) or a closing parenthesis.
    std::unique_ptr<Node> expression(int depth) {
        auto conj = std::make_unique<Node>();
        conj->kind = Node::Kind::And;
        bool pendingAnd = false;
        size_t andAt = 0;
        for (;;) {
            skipSpace();
            if (atEnd() || (depth > 0 && s_[pos_] == u')'))
                break;
            if (s_[pos_] == u'~') {
                if (depth > 0) {
                    fail(pos_, "a modifier (~) is allowed only outside parentheses");
                    return nullptr;
                }
                if (!modifier())
                    return nullptr;
                continue;
            }
            if (atKeyword(u"and")) {
                if (conj->children.empty() || pendingAnd) {
                    fail(pos_, "'and' needs a condition on each side");
                    return nullptr;
                }
                pendingAnd = true;
                andAt = pos_;
                pos_ += 3;
                continue;
            }
            auto d = disjunction(depth);
            if (!d)
                return nullptr;
            conj->children.push_back(std::move(d));
            pendingAnd = false;
        }
        if (pendingAnd) {
            fail(andAt, "'and' needs a condition on each side");
            return nullptr;
        }
        return conj;
    }

    std::unique_ptr<Node> disjunction(int depth) {
        auto first = term(depth);
        if (!first)
            return nullptr;
        std::unique_ptr<Node> any;
        for (;;) {
            size_t save = pos_;
            skipSpace();
            if (!atKeyword(u"or")) {
                pos_ = save;
                break;
            }
            size_t orAt = pos_;
            pos_ += 2;
            skipSpace();
            if (atEnd() || s_[pos_] == u')' || s_[pos_] == u'~' || atKeyword(u"or") ||
                atKeyword(u"and")) {
                fail(orAt, "'or' needs a condition on each side");
                return nullptr;
            }
            auto next = term(depth);
            if (!next)
                return nullptr;
            if (!any) {
                any = std::make_unique<Node>();
                any->kind = Node::Kind::Or;
                any->children.push_back(std::move(first));
            }
            any->children.push_back(std::move(next));
        }
        return any ? std::move(any) : std::move(first);
    }

    std::unique_ptr<Node> term(int depth) {
        if (atEnd()) {
            fail(pos_, "expected a condition");
            return nullptr;
        }
        if (s_[pos_] == u'-' || s_[pos_] == u'(') {
            // Each "-" and "(" is one level of recursion here and in the tree's evaluation.
            if (nesting_ >= kMaxNesting) {
                fail(pos_, "nested too deeply");
                return nullptr;
            }
            ++nesting_;
            auto n = s_[pos_] == u'-' ? negated(depth) : parenthesised(depth);
            --nesting_;
            return n;
        }
        if (s_[pos_] == u')') {
            fail(pos_, "')' without a matching '('");
            return nullptr;
        }
        return comparison();
    }

    // "-" followed by a term.
    std::unique_ptr<Node> negated(int depth) {
        ++pos_;
        if (atEnd() || isSpace(s_[pos_])) {
            fail(pos_ - 1, "'-' must be followed by a condition");
            return nullptr;
        }
        auto inner = term(depth);
        if (!inner)
            return nullptr;
        auto n = std::make_unique<Node>();
        n->kind = Node::Kind::Not;
        n->children.push_back(std::move(inner));
        return n;
    }

    // "(" expression ")".
    std::unique_ptr<Node> parenthesised(int depth) {
        size_t open = pos_++;
        auto inner = expression(depth + 1);
        if (!inner)
            return nullptr;
        if (atEnd() || s_[pos_] != u')') {
            fail(open, "'(' without a matching ')'");
            return nullptr;
        }
        ++pos_;
        if (inner->children.empty()) {
            fail(open, "empty parentheses");
            return nullptr;
        }
        return inner;
    }

    // Reads text up to an unescaped terminator; "/" escapes the next character.
    bool quoted(char16_t terminator, std::u16string& out, size_t openAt) {
        while (pos_ < s_.size()) {
            char16_t c = s_[pos_];
            if (c == u'/') {
                if (pos_ + 1 >= s_.size())
                    return fail(pos_, "'/' at the end of the expression escapes nothing");
                out += s_[pos_ + 1];
                pos_ += 2;
                continue;
            }
            if (c == terminator) {
                ++pos_;
                return true;
            }
            out += c;
            ++pos_;
        }
        return fail(openAt, std::string("missing closing ") + char(terminator));
    }

    bool bareValue(std::u16string& out) {
        while (pos_ < s_.size() && !isSpace(s_[pos_]) && s_[pos_] != u')') {
            if (s_[pos_] == u'/' && pos_ + 1 < s_.size()) {
                out += s_[pos_ + 1];
                pos_ += 2;
                continue;
            }
            if (s_[pos_] == u'[' || s_[pos_] == u'"')
                return fail(pos_, "unexpected character in a value without brackets");
            out += s_[pos_++];
        }
        return true;
    }

    const FieldInfo* fieldRef() {
        size_t start = pos_;
        std::u16string name;
        if (s_[pos_] == u'[') {
            ++pos_;
            size_t close = s_.find(u']', pos_);
            if (close == std::u16string_view::npos) {
                fail(start, "missing ']' after the field name");
                return nullptr;
            }
            name = std::u16string(s_.substr(pos_, close - pos_));
            pos_ = close + 1;
        } else {
            while (pos_ < s_.size() && !isSpace(s_[pos_]) && s_[pos_] != u'=' && s_[pos_] != u'[' &&
                   s_[pos_] != u']' && s_[pos_] != u'"' && s_[pos_] != u'(' && s_[pos_] != u')')
                name += s_[pos_++];
            if (name.empty()) {
                fail(start, "expected a field name");
                return nullptr;
            }
        }
        const FieldInfo* f = findField(name);
        if (!f)
            fail(start, "unknown field [" + narrow(name) + "]");
        return f;
    }

    std::unique_ptr<Node> comparison() {
        size_t start = pos_;
        const FieldInfo* f = fieldRef();
        if (!f)
            return nullptr;
        if (atEnd() || s_[pos_] != u'=') {
            fail(pos_, "expected '=' after the field name");
            return nullptr;
        }
        ++pos_;
        auto n = std::make_unique<Node>();
        n->field = f;
        if (atEnd() || isSpace(s_[pos_]) || s_[pos_] == u')') {
            fail(start, "missing value after '='");
            return nullptr;
        }
        char16_t c = s_[pos_];
        if (c == u'>' || c == u'<') {
            n->op = c == u'>' ? Node::Op::Greater : Node::Op::Less;
            size_t at = ++pos_;
            bool ok = (!atEnd() && s_[pos_] == u'[') ? (++pos_, quoted(u']', n->value, at))
                                                     : bareValue(n->value);
            if (!ok)
                return nullptr;
            n->number = parseNumber(n->value);
            if (f->kind == FieldKind::Number && !n->number) {
                fail(at, "'" + std::string(1, char(c)) + "' needs a number for [" +
                             narrow(f->name) + "]");
                return nullptr;
            }
        } else if (c == u'[') {
            size_t at = pos_++;
            if (!quoted(u']', n->value, at))
                return nullptr;
            n->op = Node::Op::Is;
        } else if (c == u'"') {
            size_t at = pos_++;
            if (!quoted(u'"', n->value, at))
                return nullptr;
            n->op = Node::Op::Contains;
        } else {
            if (!bareValue(n->value))
                return nullptr;
            n->op = Node::Op::Is;
        }
        if (!n->number)
            n->number = parseNumber(n->value);
        // A condition runs straight into the next one only through whitespace.
        if (!atEnd() && !isSpace(s_[pos_]) && s_[pos_] != u')') {
            fail(pos_, "expected a space before the next condition");
            return nullptr;
        }
        return n;
    }

    bool fieldList(std::vector<const FieldInfo*>& out) {
        out.clear();
        do {
            if (atEnd() || s_[pos_] != u'[')
                return fail(pos_, "expected [field]");
            const FieldInfo* f = fieldRef();
            if (!f)
                return false;
            out.push_back(f);
        } while (!atEnd() && s_[pos_] == u',' && ++pos_);
        if (!atEnd() && !isSpace(s_[pos_]))
            return fail(pos_, "expected ',' or a space after the field list");
        return true;
    }

    bool modifier() {
        size_t start = pos_;
        auto starts = [&](std::u16string_view w) {
            return pos_ + w.size() <= s_.size() && equalsFolded(s_.substr(pos_, w.size()), w);
        };
        sawModifier = true;
        if (starts(u"~sort=")) {
            pos_ += 6;
            return fieldList(sortFields);
        }
        if (starts(u"~nodup=")) {
            pos_ += 7;
            return fieldList(nodupFields);
        }
        if (starts(u"~n=")) {
            pos_ += 3;
            size_t at = pos_;
            std::u16string digits;
            while (!atEnd() && !isSpace(s_[pos_]))
                digits += s_[pos_++];
            auto n = parseNumber(digits);
            if (!n || *n < 0)
                return fail(at, "~n= needs a whole number");
            limit = n;
            return true;
        }
        return fail(start, "unknown modifier (known: ~sort=, ~nodup=, ~n=)");
    }
};

} // namespace

std::optional<SearchQuery> SearchQuery::parse(std::u16string_view expression, SearchError* error) {
    Parser p(expression, error);
    auto root = p.expression(0);
    if (!root || p.failed_)
        return std::nullopt;
    if (!p.atEnd()) { // only a stray ')' stops the top level early
        p.fail(p.pos_, "')' without a matching '('");
        return std::nullopt;
    }
    SearchQuery q;
    q.blank_ = root->children.empty() && !p.sawModifier;
    if (!root->children.empty())
        q.root_ = std::move(root);
    q.sortFields_ = std::move(p.sortFields);
    q.nodupFields_ = std::move(p.nodupFields);
    q.limit_ = p.limit;
    return q;
}

} // namespace medialib
