#pragma once
// JSON string literals for the controller's texts. The texts are bytes in the system's
// 8-bit code page: valid UTF-8 sequences pass through as they are, quotes, backslashes
// and control characters are escaped, and a byte that is not part of a valid UTF-8
// sequence is written as the code point of the same number (\u00XX, as Latin-1 reads
// it), so the output is always valid JSON and valid UTF-8.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zev1::cli {

// The text as a quoted JSON string.
std::string json_string(std::string_view text);

// One JSON object of string members, in the given order, without a newline.
std::string json_object(const std::vector<std::pair<std::string_view, std::string>>& members);

// Length of the valid UTF-8 sequence at the start of text, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not valid).
std::size_t utf8_sequence_length(std::string_view text);

} // namespace zev1::cli
