#pragma once
// Starts build/kestrix-sim on 127.0.0.1 with a free port and stops it again.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <stdexcept>

namespace kestrix::bench {

class SimProcess {
public:
    SimProcess(const QString& program, quint16 replyPort, const QStringList& extra = {}) {
        m_process.start(program, QStringList{"--bind", "127.0.0.1", "--port", "0", "--reply-port",
                                             QString::number(replyPort)} + extra);
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
            throw std::runtime_error("kestrix-sim did not start");
        const auto match = QRegularExpression(R"(listening on 127\.0\.0\.1:(\d+))")
                               .match(QString::fromUtf8(m_process.readLine()));
        if (!match.hasMatch()) throw std::runtime_error("kestrix-sim did not say where it listens");
        m_port = match.captured(1).toUShort();
    }
    ~SimProcess() {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

}  // namespace kestrix::bench
