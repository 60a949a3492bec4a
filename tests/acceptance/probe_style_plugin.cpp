// A Qt style plugin through which the acceptance tests look into the window's
// process from outside, as any Qt program takes a style given in its
// environment (QT_PLUGIN_PATH, QT_STYLE_OVERRIDE=kxprobe):
// - its style draws as Fusion, Qt's own style here, and logs every text drawn
//   to the file that KESTRIX_DRAWN_TEXT_LOG names;
// - on load it copies its process's capability lines to the file that
//   KESTRIX_PROBE_FILE names: the package test gives it to the installed
//   window, as a member of group kestrix could.

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStylePlugin>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/DrawnTextLog.h"

class ProbeStylePlugin : public QStylePlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "probe_style_plugin.json")
public:
    QStyle* create(const QString&) override {
        if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance()))
            kestrix::DrawnTextLog::InstallFromEnvironment(*application);
        return new QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    }
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
