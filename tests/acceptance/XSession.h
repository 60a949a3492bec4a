#pragma once
// A private X server (Xvfb, no window manager) for tests that meet the program
// as an operator does: windows found by their titles, real input through
// xdotool (XTEST), the close box's WM_DELETE_WINDOW, and pictures of windows.

#include <sys/types.h>

#include <QImage>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "tests/support/Wait.h"

namespace kestrix::test {

// An X window id; Xlib itself stays out of the tests, whose Qt headers it clashes with.
using Window = unsigned long;

class XSession {
public:
    // Starts Xvfb on a display it picks itself; null with the reason in *why
    // when no X server can be started here.
    static std::unique_ptr<XSession> Start(QString* why);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    QString display() const { return m_display; }

    // Top-level windows on screen (mapped) whose title is exactly title.
    std::vector<Window> windowsTitled(const QString& title) const;
    std::optional<Window> waitForWindow(const QString& title, std::chrono::milliseconds timeout) const;
    bool waitUntilGone(const QString& title, std::chrono::milliseconds timeout) const;
    bool onScreen(Window window) const;

    // What the close box does: asks the window's program to close it.
    void requestClose(Window window) const;
    QImage grab(Window window) const;

    // Real input, as XTEST events: xdotool with these arguments.
    void xdotool(const QStringList& arguments) const;
    void click(Window window, int x, int y, int button = 1) const;
    void type(const QString& text) const;
    void key(const QString& keys) const;  // "ctrl+a BackSpace": one press after the other
    // Owns an X selection ("primary" or "clipboard") with text, as another program would.
    void setSelection(const QString& selection, const QString& text) const;

private:
    XSession(pid_t server, QString display, void* connection);
    QString titleOf(Window window) const;

    pid_t m_server;
    QString m_display;
    void* m_connection;  // Display*
};

}  // namespace kestrix::test
