#include "shell/ProgramSettings.h"

#include <algorithm>

namespace kestrix {

namespace {
// The choices that are each operator's own.
bool IsOperatorChoice(const std::string& key) {
    return std::any_of(kProgramSettings.begin(), kProgramSettings.end(),
                       [&](const Setting& setting) { return setting.operatorsOwn && key == setting.key; });
}
}  // namespace

bool ProgramSettings::operatorKeeps(const std::string& key) const {
    return IsOperatorChoice(key) && !m_operator.path().empty() && !mayChange();
}

std::string ProgramSettings::ReadSetting(const std::string& section, const std::string& key,
                                         const std::string& byDefault) const {
    if (operatorKeeps(key)) return m_operator.ReadSetting(section, key, m_program.ReadSetting(section, key, byDefault));
    return m_program.ReadSetting(section, key, byDefault);
}

void ProgramSettings::WriteSetting(const std::string& section, const std::string& key, const std::string& value) const {
    if (operatorKeeps(key)) {
        MakeDirectoryFor(m_operator.path());
        m_operator.WriteSetting(section, key, value);
        return;
    }
    m_program.WriteSetting(section, key, value);
}

}  // namespace kestrix
