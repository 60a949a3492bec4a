#include "shell/SettingsFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "db/Cp1251.h"
#include "events/ReplaceFile.h"

namespace kestrix {

namespace {

struct Line {
    std::string text;        // without its line end
    std::string terminator;  // "\r\n", "\n" or "" for a last line without one
};

std::vector<Line> SplitLines(const std::string& fileText) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < fileText.size()) {
        const std::size_t newline = fileText.find('\n', start);
        if (newline == std::string::npos) {
            lines.push_back({fileText.substr(start), ""});
            break;
        }
        std::size_t end = newline;
        const bool crlf = end > start && fileText[end - 1] == '\r';
        if (crlf) --end;
        lines.push_back({fileText.substr(start, end - start), crlf ? "\r\n" : "\n"});
        start = newline + 1;
    }
    return lines;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Cp1251Upper(static_cast<unsigned char>(a[i])) != Cp1251Upper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The section name of a header line, or nothing for any other line.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string trimmed = Trim(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
    const auto close = trimmed.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

// Key and raw value of a "key=value" line; nothing for comments and other lines.
std::optional<std::pair<std::string, std::string>> EntryOf(const std::string& line) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') return std::nullopt;
    const auto equals = trimmed.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return std::make_pair(Trim(trimmed.substr(0, equals)), Trim(trimmed.substr(equals + 1)));
}

std::string Unquoted(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The whole file; nothing when it does not exist. A file that exists but
// cannot be read is an error (errno), so that a write never drops its keys.
std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw std::system_error(errno, std::generic_category(), path);
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw std::system_error(error, std::generic_category(), path);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace

std::optional<std::string> FindSetting(const std::string& fileText, const std::string& section,
                                       const std::string& key) {
    bool inSection = false;
    for (const Line& line : SplitLines(fileText)) {
        if (const auto name = SectionOf(line.text)) {
            inSection = SameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        if (const auto entry = EntryOf(line.text); entry && SameName(entry->first, key))
            return Unquoted(entry->second).substr(0, kMaxSettingLength);
    }
    return std::nullopt;
}

std::string WithSetting(const std::string& fileText, const std::string& section, const std::string& key,
                        const std::string& value) {
    std::vector<Line> lines = SplitLines(fileText);
    const std::string entry = key + "=" + value;
    std::optional<std::size_t> insertAfter;  // the last non-blank line of the section
    bool inSection = false;
    bool replaced = false;
    for (std::size_t i = 0; i < lines.size() && !replaced; ++i) {
        if (const auto name = SectionOf(lines[i].text)) {
            inSection = SameName(*name, section);
            if (inSection) insertAfter = i;
        } else if (inSection) {
            const auto found = EntryOf(lines[i].text);
            replaced = found && SameName(found->first, key);
            if (replaced) lines[i].text = entry;
            else if (!Trim(lines[i].text).empty()) insertAfter = i;
        }
    }
    if (!replaced) {
        if (!lines.empty() && lines.back().terminator.empty()) lines.back().terminator = "\r\n";
        if (insertAfter) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAfter) + 1, {entry, "\r\n"});
        } else {
            lines.push_back({"[" + section + "]", "\r\n"});
            lines.push_back({entry, "\r\n"});
        }
    }
    std::string text;
    for (const Line& line : lines) text += line.text + line.terminator;
    return text;
}

bool SettingsFile::exists() const {
    return ::access(m_path.c_str(), F_OK) == 0;
}

std::string SettingsFile::ReadSetting(const std::string& section, const std::string& key,
                                      const std::string& byDefault) const {
    std::optional<std::string> text;
    try {
        text = ReadWholeFile(m_path);
    } catch (const std::system_error&) {
        return byDefault;  // reading never fails
    }
    if (!text) return byDefault;
    const auto value = FindSetting(*text, Utf8ToCp1251(section), Utf8ToCp1251(key));
    return value ? Cp1251ToUtf8(*value) : byDefault;
}

void SettingsFile::WriteSetting(const std::string& section, const std::string& key, const std::string& value) const {
    try {
        const auto old = ReadWholeFile(m_path);
        ReplaceFileContents(m_path, WithSetting(old.value_or(std::string()), Utf8ToCp1251(section),
                                                Utf8ToCp1251(key), Utf8ToCp1251(value)));
    } catch (const std::system_error&) {
        throw std::runtime_error("Unable to write to " + m_path);
    }
}

}  // namespace kestrix
