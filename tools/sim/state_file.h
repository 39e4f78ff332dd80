#pragma once
// The controller's memory kept in a file between runs.
#include "memory/image.h"

#include <string>

namespace zev1::sim {

enum class load_result { loaded, absent, failed };

// Loads the file into memory from address 0 on. A file longer than the memory, or one
// that cannot be read, fails and leaves memory untouched; error says why.
load_result load_state(const std::string& path, memory_image& memory, std::string& error);

// Writes the whole memory to path through a temporary file in the same folder and a
// rename, so a reader or a crash never sees half a file. False and error on failure.
bool save_state(const std::string& path, const memory_image& memory, std::string& error);

} // namespace zev1::sim
