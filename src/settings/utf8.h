#pragma once
// The one UTF-8 rule of the program: a sequence is well-formed when it is the shortest
// form of a code point up to U+10FFFF that is not a surrogate (the rule of RFC 3629).
// Everything that decodes, checks or cuts UTF-8 asks here.
#include <cstddef>
#include <string_view>

namespace zev1 {

// One decoded character: its code point and the bytes it takes; length 0 when the text
// is empty or does not start with a well-formed sequence.
struct utf8_char {
    char32_t code_point = 0;
    std::size_t length = 0;
};

utf8_char decode_utf8(std::string_view text);

// Length of the well-formed sequence at the start of text, 0 when there is none.
inline std::size_t utf8_sequence_length(std::string_view text) {
    return decode_utf8(text).length;
}

// True when the whole text is a run of well-formed sequences.
bool valid_utf8(std::string_view text);

} // namespace zev1
