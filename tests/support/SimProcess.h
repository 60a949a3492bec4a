#pragma once
// The kestrix-sim program as tests and benchmarks start it: on an address of
// theirs (loopback, or one in a network namespace they made, through a
// launcher such as "ip netns exec NS"), on the port given (0: a free one,
// which it tells), answering to the reply port; stopped again when this goes.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <stdexcept>

namespace kestrix::test {

class SimProcess {
public:
    SimProcess(const QString& program, quint16 replyPort, const QStringList& extra = {},
               const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0,
               const QStringList& launcher = {}) {
        QStringList command = launcher;
        command << program << "--bind" << address << "--port" << QString::number(port) << "--reply-port"
                << QString::number(replyPort) << extra;
        m_process.start(command.takeFirst(), command);
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
            throw std::runtime_error("kestrix-sim did not start");
        const auto match = QRegularExpression(QStringLiteral(R"(listening on [0-9.]+:(\d+))"))
                               .match(QString::fromUtf8(m_process.readLine()));
        if (!match.hasMatch()) throw std::runtime_error("kestrix-sim did not say where it listens");
        m_port = match.captured(1).toUShort();
    }
    ~SimProcess() { stop(); }
    // Asks it to end; true when it has.
    bool stop() {
        if (m_process.state() == QProcess::NotRunning) return true;
        m_process.terminate();
        return m_process.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }
    // What it has written since the line that told its port.
    QByteArray readOutput() { return m_process.readAllStandardOutput(); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

}  // namespace kestrix::test
