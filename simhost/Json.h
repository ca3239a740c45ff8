// A small JSON reader (RFC 8259) for library description files. Strings come out as UTF-16;
// every value remembers the line and column where it starts, so a loader can say where a
// wrong value is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace simhost {

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    double number = 0;
    std::u16string text;
    std::vector<JsonValue> items;                              // arrays
    std::vector<std::pair<std::u16string, JsonValue>> members; // objects, in file order
    size_t line = 0, column = 0;                               // 1-based

    // Defined in the .cpp, where the pair of a member is complete: clang with libstdc++
    // refuses to define it inside the class, where JsonValue is not.
    JsonValue();

    const JsonValue* find(std::u16string_view key) const;
};

struct JsonError {
    size_t line = 0, column = 0;
    std::string message;
    std::string describe() const; // "line 3, column 14: expected ',' or '}'"
};

// The document, or nothing with `error` filled. Input must be UTF-8; nesting is limited to
// 200 levels.
std::optional<JsonValue> parseJson(std::string_view utf8, JsonError& error);

} // namespace simhost
