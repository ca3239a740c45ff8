// Evaluation of parsed search expressions: the conditions over each track, then the modifiers
// (stable sort, duplicates dropped, a limit).
#include "medialib/Search.h"

#include "medialib/SearchNode.h"
#include "medialib/TextFold.h"

#include <algorithm>
#include <unordered_set>

namespace medialib {

bool SearchQuery::Node::eval(const Track& t) const {
    switch (kind) {
    case Kind::And:
        for (auto& c : children)
            if (!c->eval(t))
                return false;
        return true;
    case Kind::Or:
        for (auto& c : children)
            if (c->eval(t))
                return true;
        return false;
    case Kind::Not:
        return !children[0]->eval(t);
    case Kind::Compare:
        break;
    }
    if (field->kind == FieldKind::Number) {
        int64_t v = field->number(t);
        switch (op) {
        case Op::Greater:
            return v > *number;
        case Op::Less:
            return v < *number;
        case Op::Is:
            if (value.empty())
                return v == 0;
            if (number)
                return v == *number;
            return equalsFolded(fieldText(*field, t), value);
        case Op::Contains:
            return containsFolded(fieldText(*field, t), value);
        }
    }
    std::u16string_view text = field->text(t);
    switch (op) {
    case Op::Is:
        return equalsFolded(text, value);
    case Op::Contains:
        return containsFolded(text, value);
    case Op::Greater:
        return compareFolded(text, value) > 0;
    case Op::Less:
        return compareFolded(text, value) < 0;
    }
    return false;
}

namespace {

// Files with the same values in every nodup field, compared exactly: two names that differ
// only in case stay two entries, and the caller's own collation decides whether they are one.
// Hashes and compares the tracks' own fields, so no key text is built per file.
struct NodupHash {
    const std::vector<const FieldInfo*>* fields;
    size_t operator()(const Track* t) const {
        size_t h = 0;
        for (const FieldInfo* f : *fields) {
            size_t v = f->kind == FieldKind::Text ? std::hash<std::u16string_view>()(f->text(*t))
                                                  : std::hash<int32_t>()(f->number(*t));
            h = h * 1000003u ^ v;
        }
        return h;
    }
};
struct NodupEqual {
    const std::vector<const FieldInfo*>* fields;
    bool operator()(const Track* a, const Track* b) const {
        for (const FieldInfo* f : *fields) {
            bool same = f->kind == FieldKind::Text ? f->text(*a) == f->text(*b)
                                                   : f->number(*a) == f->number(*b);
            if (!same)
                return false;
        }
        return true;
    }
};

} // namespace

std::string SearchError::describe() const {
    return "column " + std::to_string(column) + ": " + message;
}

SearchQuery::SearchQuery() = default;
SearchQuery::SearchQuery(SearchQuery&&) noexcept = default;
SearchQuery& SearchQuery::operator=(SearchQuery&&) noexcept = default;
SearchQuery::~SearchQuery() = default;

bool SearchQuery::matches(const Track& track) const {
    if (blank_)
        return false;
    return !root_ || root_->eval(track);
}

std::vector<const Track*> SearchQuery::run(const std::vector<const Track*>& candidates) const {
    std::vector<const Track*> out;
    if (blank_)
        return out;
    for (const Track* t : candidates)
        if (!root_ || root_->eval(*t))
            out.push_back(t);
    auto sortAll = [&] {
        std::stable_sort(out.begin(), out.end(), [this](const Track* a, const Track* b) {
            for (const FieldInfo* f : sortFields_) {
                int c;
                if (f->kind == FieldKind::Number) {
                    int32_t x = f->number(*a), y = f->number(*b);
                    c = x < y ? -1 : (x > y ? 1 : 0);
                } else {
                    c = compareFolded(f->text(*a), f->text(*b));
                }
                if (c != 0)
                    return c < 0;
            }
            return false;
        });
    };
    auto dropDuplicates = [&] {
        std::unordered_set<const Track*, NodupHash, NodupEqual> seen(
            out.size(), NodupHash{&nodupFields_}, NodupEqual{&nodupFields_});
        std::vector<const Track*> unique;
        for (const Track* t : out)
            if (seen.insert(t).second)
                unique.push_back(t);
        out.swap(unique);
    };
    // Files that are duplicates of each other share every nodup value; when the sort looks
    // only at nodup fields they also sort equal, so the stable sort keeps their order and
    // dropping duplicates first gives the same list from far fewer files to sort.
    auto inNodup = [this](const FieldInfo* f) {
        return std::find(nodupFields_.begin(), nodupFields_.end(), f) != nodupFields_.end();
    };
    if (!nodupFields_.empty() && std::all_of(sortFields_.begin(), sortFields_.end(), inNodup)) {
        dropDuplicates();
        if (!sortFields_.empty())
            sortAll();
    } else {
        if (!sortFields_.empty())
            sortAll();
        if (!nodupFields_.empty())
            dropDuplicates();
    }
    if (limit_ && out.size() > uint64_t(*limit_))
        out.resize(size_t(*limit_));
    return out;
}

std::optional<std::vector<int32_t>> searchKeys(std::u16string_view expression,
                                               const std::vector<Track>& all,
                                               const std::vector<int32_t>* candidates,
                                               const std::function<const Track*(int32_t)>& find,
                                               std::string& error) {
    SearchError e;
    auto query = SearchQuery::parse(expression, &e);
    if (!query) {
        error = "search expression: " + e.describe();
        return std::nullopt;
    }
    std::vector<const Track*> in;
    if (candidates) {
        in.reserve(candidates->size());
        for (int32_t key : *candidates)
            if (const Track* t = find(key))
                in.push_back(t);
    } else {
        in.reserve(all.size());
        for (const auto& t : all)
            in.push_back(&t);
    }
    std::vector<int32_t> keys;
    for (const Track* t : query->run(in))
        keys.push_back(t->key);
    return keys;
}

} // namespace medialib
