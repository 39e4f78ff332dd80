#pragma once
// The texts of one JSON document as nlohmann/json takes them, by the rule of json_text.h:
// valid UTF-8 as it is, any other byte as the code point of its number; a document that
// needed such a mapping is written in ASCII. For the .cpp files that write JSON.
#include "json_text.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace zev1::cli {

using json = nlohmann::ordered_json;

// Turns the texts of one document into strings the library takes (valid UTF-8; it
// throws on anything else) and remembers whether a byte had to be mapped.
class json_texts {
public:
    std::string operator()(std::string_view bytes) {
        std::string out;
        out.reserve(bytes.size());
        std::size_t i = 0;
        while (i < bytes.size()) {
            if (const std::size_t n = utf8_sequence_length(bytes.substr(i)); n > 0) {
                out.append(bytes.substr(i, n));
                i += n;
            } else {
                const auto b = static_cast<std::uint8_t>(bytes[i++]);
                out += static_cast<char>(0xC0 | (b >> 6));
                out += static_cast<char>(0x80 | (b & 0x3F));
                mapped_ = true;
            }
        }
        return out;
    }

    std::string dump(const json& document) const { return document.dump(-1, ' ', mapped_); }

private:
    bool mapped_ = false;
};

} // namespace zev1::cli
