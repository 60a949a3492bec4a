#include "tests/acceptance/XSession.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cstdlib>
#include <stdexcept>

// Xlib last: its macros (Bool, Status, None) clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace kestrix::test {

namespace {
Display* Connection(void* connection) { return static_cast<Display*>(connection); }
}  // namespace

std::unique_ptr<XSession> XSession::Start(QString* why) {
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (server.isEmpty()) {
        *why = QStringLiteral("Xvfb is not installed (scripts/install-deps.sh installs it)");
        return nullptr;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        *why = QStringLiteral("xdotool is not installed (scripts/install-deps.sh installs it)");
        return nullptr;
    }
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const std::string fd = std::to_string(pipeEnds[1]);
        const std::string path = server.toStdString();
        ::execl(path.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                "-noreset", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    std::string number;
    char c;
    while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(pipeEnds[0]);
    if (number.empty()) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        *why = QStringLiteral("Xvfb did not start");
        return nullptr;
    }
    const QString display = QStringLiteral(":") + QString::fromStdString(number);
    Display* connection = XOpenDisplay(display.toLatin1().constData());
    if (!connection) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        *why = QStringLiteral("cannot open display ") + display;
        return nullptr;
    }
    return std::unique_ptr<XSession>(new XSession(child, display, connection));
}

XSession::XSession(pid_t server, QString display, void* connection)
    : m_server(server), m_display(std::move(display)), m_connection(connection) {}

XSession::~XSession() {
    XCloseDisplay(Connection(m_connection));
    ::kill(m_server, SIGTERM);
    ::waitpid(m_server, nullptr, 0);
}

QString XSession::titleOf(Window window) const {
    const Atom netName = XInternAtom(Connection(m_connection), "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(Connection(m_connection), "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QString title;
    if (XGetWindowProperty(Connection(m_connection), window, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        title = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count));
        XFree(data);
    }
    return title;
}

bool XSession::onScreen(Window window) const {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(Connection(m_connection), window, &attributes) && attributes.map_state == IsViewable;
}

std::vector<Window> XSession::windowsTitled(const QString& title) const {
    XSync(Connection(m_connection), False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::vector<Window> found;
    if (!XQueryTree(Connection(m_connection), DefaultRootWindow(Connection(m_connection)), &root, &parent, &children, &count)) return found;
    for (unsigned int i = 0; i < count; ++i)
        if (onScreen(children[i]) && titleOf(children[i]) == title) found.push_back(children[i]);
    if (children) XFree(children);
    return found;
}

std::optional<Window> XSession::waitForWindow(const QString& title, std::chrono::milliseconds timeout) const {
    std::optional<Window> window;
    WaitFor(
        [&] {
            const auto found = windowsTitled(title);
            if (!found.empty()) window = found.front();
            return window.has_value();
        },
        timeout);
    return window;
}

bool XSession::waitUntilGone(const QString& title, std::chrono::milliseconds timeout) const {
    return WaitFor([&] { return windowsTitled(title).empty(); }, timeout);
}

void XSession::requestClose(Window window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(Connection(m_connection), "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(Connection(m_connection), "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(Connection(m_connection), window, False, NoEventMask, &event);
    XFlush(Connection(m_connection));
}

QImage XSession::grab(Window window) const {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(Connection(m_connection), window, &attributes)) return {};
    XImage* image = XGetImage(Connection(m_connection), window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return {};
    QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x)
            picture.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000u);
    XDestroyImage(image);
    return picture;
}

void XSession::xdotool(const QStringList& arguments) const {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0)
        throw std::runtime_error("xdotool " + arguments.join(' ').toStdString() + " failed: " +
                                 tool.readAllStandardError().toStdString());
}

void XSession::click(Window window, int x, int y, int button) const {
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window), QString::number(x),
             QString::number(y), QStringLiteral("click"), QString::number(button)});
}

void XSession::type(const QString& text) const {
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

void XSession::key(const QString& keys) const {
    xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} +
            keys.split(QLatin1Char(' '), Qt::SkipEmptyParts));
}

void XSession::setSelection(const QString& selection, const QString& text) const {
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        throw std::runtime_error("xclip is not installed (scripts/install-deps.sh installs it)");
    QProcess owner;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    owner.setProcessEnvironment(environment);
    owner.setStandardOutputFile(QProcess::nullDevice());
    owner.setStandardErrorFile(QProcess::nullDevice());
    // xclip hands the selection to a child of its own that serves it until another owner takes it.
    owner.start(QStringLiteral("xclip"), {QStringLiteral("-selection"), selection, QStringLiteral("-i")});
    owner.write(text.toUtf8());
    owner.closeWriteChannel();
    if (!owner.waitForFinished(10000)) throw std::runtime_error("xclip did not hand over the selection");
}

}  // namespace kestrix::test
