// Download benchmarks:
//  1. a full 6,144-page download in IP mode from kestrix-sim on loopback through
//     the window's own code, against a minimal blocking request/reply loop;
//  2. the process CPU time of a download from a controller that takes 2 ms a page;
//  3. the validation pass over 196,608 records and the memory of a full list.
// Usage: download_bench [path/to/kestrix-sim]

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QUdpSocket>
#include <chrono>
#include <cstdio>
#include <random>

#include "app/TForm1.h"
#include "app/QtOperatorUi.h"
#include "tests/support/SimProcess.h"
#include "events/EventRecords.h"
#include "tests/support/FreeUdpPort.h"

using namespace kestrix;
using Clock = std::chrono::steady_clock;

namespace {

class SilentDialogs : public OperatorDialogs {
public:
    void showErrorBox(const QString& t) override { std::fprintf(stderr, "error box: %s\n", qPrintable(t)); }
    void showNoticeBox(const QString& t) override { std::fprintf(stderr, "notice box: %s\n", qPrintable(t)); }
    void showUnexpectedErrorBox(const QString& t) override { std::fprintf(stderr, "unexpected: %s\n", qPrintable(t)); }
    QString askSaveFileName(const QString&, const QString&) override { return {}; }
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct WindowRun {
    double wall, cpu;
    std::size_t events;
};

WindowRun DownloadThroughTheWindow(const QString& simProgram, const QStringList& simOptions) {
    SilentDialogs dialogs;
    QtEventPump pump;
    const quint16 replyPort = test::FreeUdpPort();
    test::SimProcess sim(simProgram, replyPort, simOptions);
    TForm1 form({dialogs, pump, replyPort, sim.port()});
    form.findChild<QRadioButton*>("RadioButton2")->click();
    form.findChild<QComboBox*>("edit1")->setEditText("0011223344AA");
    form.findChild<QLineEdit*>("Edit4")->setText("127.0.0.1");
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    form.findChild<QPushButton*>("Button2")->click();
    return {Seconds(Clock::now() - t0), CpuSeconds() - cpu0, form.EventList().size()};
}

double MinimalLoop(const QString& simProgram) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    test::SimProcess sim(simProgram, ntohs(local.sin_port));
    sockaddr_in controller{};
    controller.sin_family = AF_INET;
    controller.sin_port = htons(sim.port());
    controller.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<std::uint8_t> buffer(9000);
    std::vector<HexText> raw;
    const auto t0 = Clock::now();
    for (int page = kFirstPageValue; page <= kLastPageValue; page += kPageValueStep) {
        const auto request = HexToBytes(BuildControllerMessage(PageReadBody(page)));
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&controller), sizeof controller);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) throw std::runtime_error("minimal loop: no reply");
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        ReplySlot slot;
        AcceptControllerReply(slot, {buffer.data(), static_cast<std::size_t>(n)});
        CollectPlausibleSlots(slot.data, raw);
    }
    const double wall = Seconds(Clock::now() - t0);
    ::close(fd);
    return wall;
}

std::size_t HeapInUse() {
    return mallinfo2().uordblks;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString sim = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/kestrix-sim");

    const WindowRun window = DownloadThroughTheWindow(sim, {});
    const double minimal = MinimalLoop(sim);
    std::printf("full download, 6144 pages, %zu events\n", window.events);
    std::printf("  through the window:  %.3f s\n", window.wall);
    std::printf("  minimal loop:        %.3f s\n", minimal);
    std::printf("  ratio window/minimal: %.2f\n", window.wall / minimal);

    const WindowRun slow = DownloadThroughTheWindow(sim, {"--latency", "2"});
    std::printf("download with 2 ms controller latency: wall %.2f s, process CPU %.2f s (%.1f%% of wall)\n",
                slow.wall, slow.cpu, 100.0 * slow.cpu / slow.wall);

    // A full list: every slot of every page holds a valid record.
    const std::size_t heapBefore = HeapInUse();
    std::vector<HexText> raw;
    std::mt19937 rng(5);
    for (int i = 0; i < 6144 * 32; ++i) {
        const int second = static_cast<int>(rng() % 86400);
        raw.push_back(FixedHex(24, 2) + "0516" + FixedHex(static_cast<unsigned>(second / 3600), 2) +
                      FixedHex(static_cast<unsigned>(second / 60 % 60), 2) +
                      FixedHex(static_cast<unsigned>(second % 60), 2) + "0000000A1B2C01220000");
    }
    const std::size_t heapList = HeapInUse() - heapBefore;
    const auto t0 = Clock::now();
    const ValidationResult result = ValidateRecords(raw);
    const double validation = Seconds(Clock::now() - t0);
    std::printf("validation of %zu records: %.3f s (%zu valid)\n", raw.size(), validation, result.events.size());
    std::printf("heap of a full RawRecordList: %.1f MiB\n", heapList / 1048576.0);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident set of this run: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
