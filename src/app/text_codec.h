#pragma once
// Window texts are Unicode, carried here as UTF-8. Texts exchanged with the controller,
// the settings file and the port layer are bytes in the system's 8-bit code page: the
// ANSI code page on Windows, the locale's encoding (normally UTF-8) on Linux. Each
// toolkit converts between the two with the system's own tables.
#include <string>
#include <string_view>

namespace zev1 {

class text_codec {
public:
    // Bytes in the 8-bit code page -> the text a window shows (UTF-8).
    virtual std::string to_window(std::string_view local) const = 0;
    // A window's text (UTF-8) -> bytes in the 8-bit code page.
    virtual std::string to_local(std::string_view window) const = 0;

protected:
    ~text_codec() = default;
};

} // namespace zev1
