#include "log/message_text.h"

#include <array>
#include <string_view>

namespace zev1 {

namespace {

// Entries 16..99 are empty; ids 100 and above give the empty text too.
constexpr std::array<std::string_view, 16> texts = {
    "File read error occurred!",
    "Reading from the device",
    "Writing to the device",
    "Read error occurred.",
    "    <unknown>",
    "Disco&nnect ",
    "Co&nnect ",
    "Disc&onnect &ISP ",
    "C&onnect &ISP ",
    "Txt",
    "Hex",
    "Headers",
    "Receive-only",
    "Terminal",
    "Progress",
    "Unimplemented feature in the INTEL HEX file!",
};

} // namespace

std::string message_text(std::uint16_t id) {
    if (id < texts.size()) {
        return std::string(texts[id]);
    }
    return {};
}

} // namespace zev1
