#include "app/win32/win_text.h"

namespace zev1::win32 {

namespace {

std::wstring to_wide(UINT code_page, std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(code_page, 0, bytes.data(), size, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        ::MultiByteToWideChar(code_page, 0, bytes.data(), size, out.data(), n);
    }
    return out;
}

std::string from_wide(UINT code_page, std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n =
        ::WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(code_page, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    }
    return out;
}

} // namespace

std::wstring wide(std::string_view utf8_text) {
    return to_wide(CP_UTF8, utf8_text);
}

std::string utf8(std::wstring_view text) {
    return from_wide(CP_UTF8, text);
}

std::wstring window_text(HWND window) {
    const int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int n = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return text;
}

std::string ansi_codec::to_window(std::string_view local) const {
    return utf8(to_wide(CP_ACP, local));
}

std::string ansi_codec::to_local(std::string_view window) const {
    // Letters the code page lacks become its default character ('?').
    return from_wide(CP_ACP, wide(window));
}

} // namespace zev1::win32
