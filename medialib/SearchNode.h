// A parsed search expression's tree, shared by the parser that builds it and the evaluator
// that runs it. Internal to medialib.
#pragma once

#include "medialib/Search.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace medialib {

struct SearchQuery::Node {
    enum class Kind { Compare, And, Or, Not };
    enum class Op { Is, Contains, Greater, Less };

    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<Node>> children;
    const FieldInfo* field = nullptr;
    Op op = Op::Is;
    std::u16string value;
    std::optional<int64_t> number; // the value as a whole number, when it is one

    // Whether the condition holds for the track.
    bool eval(const Track& t) const;
};

} // namespace medialib
