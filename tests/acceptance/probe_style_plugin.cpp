// A Qt style plugin that only tells with which capabilities the process that
// loads it runs: on load it copies its process's capability lines to the file
// that KESTRIX_PROBE_FILE names. The package test gives it to the installed
// window through QT_PLUGIN_PATH, as a member of group kestrix could.

#include <QStylePlugin>
#include <cstdlib>
#include <fstream>
#include <string>

class ProbeStylePlugin : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "probe_style_plugin.json")
public:
    QStyle* create(const QString&) override { return nullptr; }
};

__attribute__((constructor)) static void TellTheCapabilities() {
    const char* file = std::getenv("KESTRIX_PROBE_FILE");
    if (!file) return;
    std::ifstream status("/proc/self/status");
    std::ofstream out(file);
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Cap", 0) == 0) out << line << "\n";
}

#include "probe_style_plugin.moc"
