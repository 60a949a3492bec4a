#pragma once
// The built program run as a process in a directory of the test's own (the
// program keeps settings.ini and DB/ beside itself), on a private X server,
// with the texts it draws logged (KESTRIX_DRAWN_TEXT_LOG, through the probe style) for the test to read.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <ostream>
#include <optional>
#include <string>
#include <vector>

#include "tests/acceptance/XSession.h"

// Texts in failure messages as text, not as arrays of UTF-16 units.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kestrix::test {

inline const QString kWindowTitle = QStringLiteral("Kestrix v2.5");
inline const QString kBoxTitle = QStringLiteral("КОРСИ Контроль доступа - Считыватель");
inline const QString kErrorTitle = QStringLiteral("Ошибка");

struct DrawnLine {
    QString window, control;
    QRect place;
    bool fits = true;
    QString text;
};

class OperatorRun {
public:
    // Runs a copy of the built program in a directory of the test's own, or,
    // given installedProgram, that program where it is installed (the test's
    // directory then holds only what the test writes).
    explicit OperatorRun(const XSession& x, const QString& installedProgram = {});
    ~OperatorRun();

    QString directory() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    std::string appPath() const { return QFileInfo(m_program).path().toStdString() + "/"; }

    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;

    // Starts the program; environment entries "NAME=value" are added.
    void start(const QStringList& environment = {}, const QStringList& runAs = {});
    // The program's exit status once it has ended within the timeout; nothing while it runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout);
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QString errorOutput() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

    // Every line of the drawn-text log so far.
    std::vector<DrawnLine> drawn() const;
    // The text last drawn by a control of a window; nothing before it was drawn.
    std::optional<DrawnLine> lastDrawn(const QString& control, const QString& window = kWindowTitle) const;
    // Waits until the control's last drawn text is text; returns what it last showed.
    QString waitForDrawn(const QString& control, const QString& text,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10),
                         const QString& window = kWindowTitle) const;
    // Lines of the main window drawn clipped.
    std::vector<DrawnLine> clipped() const;

    // Waits until a control of a window has been drawn; nothing if it was not within the timeout.
    std::optional<DrawnLine> waitForControl(const QString& control, const QString& window,
                                            std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Clicks the middle of a control of a window, where the program drew it last
    // (waiting for a window whose controls are still being drawn).
    void clickControl(Window window, const QString& control, int button = 1,
                      const QString& windowTitle = kWindowTitle) const;
    // Waits for a box of that title showing that text, and presses its button.
    // Returns false when no such box came within the timeout.
    bool answerBox(const QString& title, const QString& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    const XSession& m_x;
    QTemporaryDir m_dir;
    QString m_program;
    QProcess m_process;
};

}  // namespace kestrix::test
