#pragma once
// settings.ini: initialization-file text in Windows-1251 with CR LF line ends.
// Section and key names match without regard to case; a value in a pair of
// double or single quotation marks is read without them. Every call opens and
// closes the file; nothing is cached.

#include <optional>
#include <string>

namespace kestrix {

inline const std::string kSettingsFileName = "settings.ini";
inline const std::string kMainSection = "main";
constexpr std::size_t kMaxSettingLength = 2047;

// The raw value of section/key in the text of an initialization file (bytes as
// stored), without quotation marks, cut to kMaxSettingLength; nothing when the
// section or key is missing.
std::optional<std::string> FindSetting(const std::string& fileText, const std::string& section,
                                       const std::string& key);

// The file text with section/key set to value: an existing key is replaced in
// place, a missing key is added to its section, a missing section is appended.
// Every other line stays as it was.
std::string WithSetting(const std::string& fileText, const std::string& section, const std::string& key,
                        const std::string& value);

class SettingsFile {
public:
    explicit SettingsFile(std::string path) : m_path(std::move(path)) {}

    const std::string& path() const { return m_path; }
    bool exists() const;

    // Values are UTF-8 for the program and Windows-1251 in the file. Reading
    // never fails: a missing file, section or key gives the default.
    std::string ReadSetting(const std::string& section, const std::string& key, const std::string& byDefault) const;
    // Creates a missing file (its directory must exist). Writes through a
    // temporary file and a rename, so the file is never left half-written.
    // Throws std::runtime_error "Unable to write to <path>".
    void WriteSetting(const std::string& section, const std::string& key, const std::string& value) const;

private:
    std::string m_path;
};

}  // namespace kestrix
