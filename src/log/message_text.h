#pragma once
// The fixed table of English texts shared by several modules (captions, the log name
// of unnamed frames, the transfer error text). 100 entries; 16 and above are empty.
#include <cstdint>
#include <string>

namespace zev1 {

std::string message_text(std::uint16_t id);

} // namespace zev1
