#include "tests/acceptance/OperatorRun.h"

#include <QFile>
#include <stdexcept>

namespace kestrix::test {

OperatorRun::OperatorRun(const XSession& x, const QString& installedProgram)
    : m_x(x), m_program(installedProgram.isEmpty() ? path(QStringLiteral("kestrix")) : installedProgram) {
    // Another user may run the program and write its log here.
    QFile::setPermissions(m_dir.path(), QFileDevice::Permissions(0x7777));
    // The program looks for its files beside its executable, so it runs from a
    // copy here, with the embedded engine's configuration beside it.
    if (installedProgram.isEmpty()) {
        const QString built = QFileInfo(QStringLiteral(KESTRIX_PROGRAM_PATH)).path();
        for (const QString& file : {QStringLiteral("firebird/firebird.conf"), QStringLiteral("firebird/intl/libfbintl.so")})
            if (!QDir().mkpath(QFileInfo(path(file)).path()) || !QFile::copy(built + "/" + file, path(file)))
                throw std::runtime_error("cannot copy " + file.toStdString());
        if (!QFile::copy(QStringLiteral(KESTRIX_PROGRAM_PATH), m_program)) throw std::runtime_error("cannot copy the program");
    }
}

OperatorRun::~OperatorRun() {
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void OperatorRun::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + name.toStdString());
}

QByteArray OperatorRun::readFile(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void OperatorRun::start(const QStringList& environment, const QStringList& runAs) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("KESTRIX_DRAWN_TEXT_LOG"), path(QStringLiteral("drawn.log")));
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(KESTRIX_PROBE_PLUGINS));
    env.insert(QStringLiteral("QT_STYLE_OVERRIDE"), QStringLiteral("kxprobe"));
    env.remove(QStringLiteral("XAUTHORITY"));
    for (const QString& entry : environment) {
        const auto equals = entry.indexOf(QLatin1Char('='));
        env.insert(entry.left(equals), entry.mid(equals + 1));
    }
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(QDir::tempPath());  // the program must not depend on it
    m_process.setStandardOutputFile(path(QStringLiteral("stdout.log")));
    if (runAs.isEmpty())
        m_process.start(m_program, {});
    else
        m_process.start(runAs.front(), runAs.mid(1) << m_program);
    if (!m_process.waitForStarted(10000)) throw std::runtime_error("the program does not start");
}

std::optional<int> OperatorRun::waitForExit(std::chrono::milliseconds timeout) {
    if (running() && !m_process.waitForFinished(static_cast<int>(timeout.count()))) return std::nullopt;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

std::vector<DrawnLine> OperatorRun::drawn() const {
    std::vector<DrawnLine> lines;
    for (const QString& line : QString::fromUtf8(readFile(QStringLiteral("drawn.log"))).split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() < 5) continue;
        const QStringList place = fields[2].split(QLatin1Char(','));
        if (place.size() != 4) continue;
        lines.push_back({fields[0], fields[1],
                         QRect(place[0].toInt(), place[1].toInt(), place[2].toInt(), place[3].toInt()),
                         fields[3] == QLatin1String("fits"), fields.mid(4).join(QLatin1Char('\t'))});
    }
    return lines;
}

std::optional<DrawnLine> OperatorRun::lastDrawn(const QString& control, const QString& window) const {
    std::optional<DrawnLine> last;
    for (DrawnLine& line : drawn())
        if (line.window == window && line.control == control) last = std::move(line);
    return last;
}

QString OperatorRun::waitForDrawn(const QString& control, const QString& text, std::chrono::milliseconds timeout,
                                  const QString& window) const {
    QString shown = QStringLiteral("<never drawn>");
    WaitFor(
        [&] {
            if (const auto line = lastDrawn(control, window)) shown = line->text;
            return shown == text;
        },
        timeout);
    return shown;
}

std::vector<DrawnLine> OperatorRun::clipped() const {
    std::vector<DrawnLine> lines;
    for (DrawnLine& line : drawn())
        if (line.window == kWindowTitle && !line.fits) lines.push_back(std::move(line));
    return lines;
}

std::optional<DrawnLine> OperatorRun::waitForControl(const QString& control, const QString& window,
                                                     std::chrono::milliseconds timeout) const {
    std::optional<DrawnLine> line;
    WaitFor([&] { return (line = lastDrawn(control, window)).has_value(); }, timeout);
    return line;
}

void OperatorRun::clickControl(Window window, const QString& control, int button, const QString& windowTitle) const {
    const auto line = waitForControl(control, windowTitle);
    if (!line) throw std::runtime_error("control " + control.toStdString() + " was never drawn");
    m_x.click(window, line->place.center().x(), line->place.center().y(), button);
}

bool OperatorRun::answerBox(const QString& title, const QString& text, std::chrono::milliseconds timeout) const {
    const auto box = m_x.waitForWindow(title, timeout);
    if (!box) return false;
    if (waitForDrawn(QStringLiteral("qt_msgbox_label"), text, std::chrono::seconds(5), title) != text) return false;
    // The box's one button, as the program drew it.
    const auto button = waitForControl(QStringLiteral("qt_msgbox_buttonbox"), title);
    if (!button) return false;
    m_x.click(*box, button->place.center().x(), button->place.center().y());
    return m_x.waitUntilGone(title, std::chrono::seconds(5));
}

}  // namespace kestrix::test
