#include "app/about.h"

#include "app/main_layout.h"
#include "settings/file_io.h"
#include "version.h"

#include <vector>

namespace zev1 {

std::string application_version() {
    return std::string(version());
}

std::string shortened_in_the_middle(const std::string& text, std::size_t max_chars) {
    // Where each character starts: every byte that is not a UTF-8 continuation byte.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            starts.push_back(i);
        }
    }
    if (starts.size() <= max_chars || max_chars < 3) {
        return text;
    }
    // Two thirds for the end, where the folder and the file name are.
    const std::size_t head = (max_chars - 1) / 3;
    const std::size_t tail = max_chars - 1 - head;
    constexpr const char* ellipsis = "\xE2\x80\xA6"; // U+2026 in UTF-8
    return text.substr(0, starts[head]) + ellipsis + text.substr(starts[starts.size() - tail]);
}

std::array<std::string, 5> about_texts(const std::filesystem::path& settings_file, bool german) {
    // About 40 characters of the window's font fit the box's 282 design pixels.
    std::string path = shortened_in_the_middle(path_text(settings_file), 40);
    if (german) {
        return {std::string(application_title), "Version " + application_version(),
                "WiFi-Einstellungen des Heizungsreglers ZEV1", std::move(path),
                "Einstellungsdatei:"};
    }
    return {std::string(application_title), "Verze " + application_version(),
            "Nastavení WiFi regulátoru vytápění ZEV1", std::move(path), "Soubor nastavení:"};
}

} // namespace zev1
