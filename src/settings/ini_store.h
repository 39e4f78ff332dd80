#pragma once
// The in-memory settings store with the file semantics the settings file relies on:
//  - reading: every line trimmed; empty lines, lines starting with ';' and lines
//    before the first section are dropped; "[name]" opens a section; "key=value"
//    (key and value trimmed) holds a value; a line in a section without '=' is kept
//    unchanged in that section;
//  - sections and keys are matched without regard to ASCII letter case; sections keep
//    the order in which they were read or created, a new key goes to the end of its
//    section;
//  - writing: "[name]", then the section's lines in order, then one empty line;
//  - encoding: a file starting with a byte-order mark (UTF-8, UTF-16 LE or BE) is
//    read in that encoding and written back in it; otherwise the bytes are kept as
//    they are (the system's 8-bit code page). Values are byte strings (UTF-8 inside
//    the store for a file with a byte-order mark);
//  - line ends: CR LF, LF and a lone CR are all accepted on reading. A file is written
//    with the line end its first line used (CR LF or LF); a new file, or one whose
//    first line ended in a lone CR, gets CR LF on Windows and LF elsewhere.
#include "settings/file_os.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zev1 {

class ini_store {
public:
    enum class encoding : std::uint8_t { ansi, utf8_bom, utf16le_bom, utf16be_bom };

    ini_store() = default;
    // Builds a store from the whole content of a file.
    static ini_store parse(std::span<const std::uint8_t> file_bytes);
    // The whole file as it is to be written, in the encoding it was read in.
    std::vector<std::uint8_t> serialize() const;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    // "0x"/"0X" + hex (text longer than two characters), "$" + hex, or an optional sign
    // and decimal digits; anything else, or a value outside 32 bits, gives def.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    // ReadInteger with default 1/0; nonzero is true.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    // Stores "1" or "0".
    void WriteBool(std::string_view section, std::string_view key, bool value);

    encoding file_encoding() const { return encoding_; }

private:
    struct line {
        std::string key;   // unused for a raw line
        std::string value; // the value, or the whole (trimmed) line when raw
        bool raw = false;  // a line without '=', kept as it was read
    };
    struct section {
        std::string name;
        std::vector<line> lines;
    };
    const section* find_section(std::string_view name) const;
    section& section_for_write(std::string_view name);

    std::vector<section> sections_;
    encoding encoding_ = encoding::ansi;
    bool crlf_ = file_os::crlf_line_breaks();
};

} // namespace zev1
