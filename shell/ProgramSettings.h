#pragma once
// The settings as one operator of the program sees them. settings.ini beside
// the program holds the installation's settings. Where it exists and this
// user may not change it (an installed program, whose settings the
// administrator keeps), the operator's own choices (the interface) are read
// first from, and written to, a file of the operator's own, as desktop
// programs keep their recent choices. Everything else stays in the program's
// file, so that the administrator's settings always hold.

#include <array>
#include <string>

#include "shell/SettingsFile.h"

namespace kestrix {

// The program's settings, all in its main section: the key, the value it
// has while the file gives none, and whether it is each operator's own choice.
struct Setting {
    const char* key;
    const char* byDefault;
    bool operatorsOwn;
};
inline constexpr Setting kInterfaceSetting{"interface", "", true};
inline constexpr Setting kDatabasePathSetting{"DB_path", "", false};
inline constexpr Setting kDatabasePasswordSetting{"DB_pass", "fbdefault", false};
inline constexpr std::array kProgramSettings{kInterfaceSetting, kDatabasePathSetting, kDatabasePasswordSetting};

// The operator's own settings file: settings.ini in the kestrix folder of the
// user's configuration directory; empty when the user has none (platform
// specific).
std::string OperatorSettingsPath();

// This user may change the file (platform specific).
bool MayChangeFile(const std::string& path);

// Makes the missing folders on the way to a file, for this user alone
// (platform specific). A failure shows when the file is written.
void MakeDirectoryFor(const std::string& file);

class ProgramSettings {
public:
    ProgramSettings(std::string programFile, std::string operatorFile)
        : m_program(std::move(programFile)), m_operator(std::move(operatorFile)) {}

    // The program's file.
    const std::string& path() const { return m_program.path(); }
    bool exists() const { return m_program.exists(); }
    // This user may change the program's file (or make it, where it is missing).
    bool mayChange() const { return !exists() || MayChangeFile(path()); }

    std::string read(const Setting& setting) const { return ReadSetting(kMainSection, setting.key, setting.byDefault); }
    void write(const Setting& setting, const std::string& value) const { WriteSetting(kMainSection, setting.key, value); }

    std::string ReadSetting(const std::string& section, const std::string& key, const std::string& byDefault) const;
    // Throws std::runtime_error "Unable to write to <path>" with the file written.
    void WriteSetting(const std::string& section, const std::string& key, const std::string& value) const;

private:
    // The operator's file holds this key for this user.
    bool operatorKeeps(const std::string& key) const;

    SettingsFile m_program;
    SettingsFile m_operator;
};

}  // namespace kestrix
