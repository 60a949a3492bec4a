#pragma once
// What the window draws, for the acceptance tests, which see the program only
// from outside: the probe style plugin installs the log in the program's
// process. With KESTRIX_DRAWN_TEXT_LOG naming a file, every label, button and
// text field that is drawn appends one line to it:
//   <window title> TAB <control> TAB <x,y,w,h> TAB fits|clipped TAB <text>
// The place is the control's, in its window; "clipped" means the control is
// too small to show its whole text. A repaint that changes none of it adds
// no line.

#include <QFile>
#include <QHash>
#include <QObject>
#include <QString>
#include <optional>

class QApplication;
class QWidget;

namespace kestrix {

struct DrawnText {
    QString control;  // the name of the control, or of the named control it is part of
    QString text;
    bool fits = true;
};

// The text a widget draws and whether it fits; nothing for widgets that draw
// no text of their own (panels, pictures, progress bars, drop-down lists).
std::optional<DrawnText> DrawnTextOf(const QWidget& widget);

class DrawnTextLog : public QObject {
public:
    // Installs the log on the application when the environment asks for it.
    static void InstallFromEnvironment(QApplication& application);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit DrawnTextLog(const QString& path, QObject* parent);
    QFile m_file;
    QHash<const QObject*, QString> m_lastLine;  // a repaint that changes nothing adds no line
};

}  // namespace kestrix
