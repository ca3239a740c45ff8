// The player's search language: a parser that turns an expression into a query and
// an evaluator that runs it over tracks.
//
// Grammar (whitespace is spaces and tabs; keywords and field names are case-insensitive):
//
//   expression  := item*                  items are joined by "and"
//   item        := modifier | "and" | disjunction
//   disjunction := term ("or" term)*      "or" binds tighter than the joining "and"
//   term        := "-" term               not
//                | "(" expression ")"
//                | field "=" value
//   field       := "[" name "]" | bare    bare: up to "=" (no space, brackets or quotes)
//   value       := "[" text "]"           is: the whole value, ignoring case; "[]" is empty
//                | '"' text '"'           contains the phrase, ignoring case
//                | ">" number | ">" "[" number "]"    greater than
//                | "<" number | "<" "[" number "]"    less than
//                | bare                   is, up to the next space or ")"
//   modifier    := "~sort=" fields        stable ascending sort, numbers by value
//                | "~nodup=" fields       keeps the first file of each distinct value tuple
//                                         (values compared exactly, case included)
//                | "~n=" number           keeps the first n files
//   fields      := "[" name "]" ("," "[" name "]")*
//
// Inside values "/" escapes the next character, so "/[" is a literal "[" and "//" a "/".
// Number fields compare by value ("[rating]=4", "[Number Plays]=>3"); zero counts as empty
// ("[numberplays]=[]" finds files never played). Modifiers apply after the conditions, in the
// order sort, nodup, n, wherever they stand. An expression without conditions selects every
// file when it has a modifier, and nothing when it is blank. Modifiers are allowed only at the
// top level, and "-" and "(" nest at most 64 deep. Any other input is an error with its
// column; nothing is thrown.
#pragma once

#include "medialib/Library.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace medialib {

struct SearchError {
    size_t column = 0; // 1-based, in UTF-16 code units
    std::string message;

    std::string describe() const; // "column 7: unknown field [Artst]"
};

class SearchQuery {
public:
    // The query, or nothing with `error` filled.
    static std::optional<SearchQuery> parse(std::u16string_view expression, SearchError* error);

    SearchQuery(SearchQuery&&) noexcept;
    SearchQuery& operator=(SearchQuery&&) noexcept;
    ~SearchQuery();

    // Whether the conditions (not the modifiers) hold for the track.
    bool matches(const Track& track) const;
    // Filters the candidates in their order, then applies the modifiers.
    std::vector<const Track*> run(const std::vector<const Track*>& candidates) const;

    struct Node;

private:
    SearchQuery();
    std::unique_ptr<Node> root_; // null: no conditions
    bool blank_ = true;
    std::vector<const FieldInfo*> sortFields_;
    std::vector<const FieldInfo*> nodupFields_;
    std::optional<int64_t> limit_;
};

// Runs an expression over the tracks with the candidates' keys, in their order (every track of
// `all` when null); `find` looks a key up (null: not in the library, left out). The keys of
// the result, or nothing with `error` filled ("search expression: column 7: ...").
std::optional<std::vector<int32_t>> searchKeys(std::u16string_view expression,
                                               const std::vector<Track>& all,
                                               const std::vector<int32_t>* candidates,
                                               const std::function<const Track*(int32_t)>& find,
                                               std::string& error);

} // namespace medialib
