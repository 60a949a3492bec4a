// settings.ini text: reading arbitrary files, and a write that reads back as written.
#include <cstdlib>
#include <string>

#include "shell/SettingsFile.h"

namespace {
bool Plain(const std::string& text, bool name) {
    if (text.empty() && name) return false;
    for (char c : text)
        if (c == '\r' || c == '\n' || c == '\0' || (name && (c == '=' || c == ']' || c == '[' || c == ';'))) return false;
    if (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.back() == ' ' || text.back() == '\t'))
        return false;
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) return false;
    return text.size() <= kestrix::kMaxSettingLength;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrix;
    const std::string input(reinterpret_cast<const char*>(data), size);
    // The input is a file; its last three lines (if any) name a section, a key and a value.
    const std::size_t cut = input.rfind('\x01');
    const std::string file = input.substr(0, cut == std::string::npos ? input.size() : cut);
    std::string section = "main", key = "interface", value = "eth0";
    if (cut != std::string::npos) {
        const std::string tail = input.substr(cut + 1);
        const std::size_t a = tail.find('\x02'), b = tail.find('\x03');
        if (a != std::string::npos && b != std::string::npos && a < b) {
            section = tail.substr(0, a);
            key = tail.substr(a + 1, b - a - 1);
            value = tail.substr(b + 1);
        }
    }
    if (const auto found = FindSetting(file, section, key); found && found->size() > kMaxSettingLength) std::abort();
    if (!Plain(section, true) || !Plain(key, true) || !Plain(value, false)) return 0;
    const std::string written = WithSetting(file, section, key, value);
    if (FindSetting(written, section, key) != value) std::abort();
    // Writing the same value again changes nothing.
    if (WithSetting(written, section, key, value) != written) std::abort();
    return 0;
}
