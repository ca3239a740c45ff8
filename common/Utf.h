// Text conversion between the wire's UTF-8 and the player's UTF-16. Malformed input gives
// an empty text, never a partial one.
#pragma once

#include <string>
#include <string_view>

// 1- to 4-byte sequences are decoded (4-byte ones become a surrogate pair). A continuation
// byte not of the form 10xxxxxx, a truncated sequence, or a lead byte that starts no valid
// sequence makes the result empty. Only the shape is checked: an overlong form or an encoded
// surrogate decodes to the value it carries.
std::u16string utf8ToUtf16(std::string_view utf8);

// Below 0x80 one byte, below 0x800 two, other non-surrogates three, a surrogate pair four.
// A high surrogate not followed by a low one, or a lone low surrogate, makes the result empty.
std::string utf16ToUtf8(std::u16string_view utf16);

// Each byte becomes one UTF-16 unit of the same value (0..255): how the system's narrow texts
// (adapter addresses, the update check's answer) are widened, with no decoding.
std::u16string widenBytes(std::string_view bytes);
