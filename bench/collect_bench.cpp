// A site collected by kestrix-collect: controllers simulated on 127.0.0.1 to
// 127.0.0.N (one kestrix-sim each, answering after a delay a page), collected
// in IP mode into a fresh embedded database, once for each --jobs value.
// Reports the wall time, the CPU time of the collector per page read, and its
// peak memory.
// Usage: collect_bench [controllers=50] [page-delay-ms=5] [jobs=1,16] [events=300]

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "events/EventRecords.h"
#include "tests/support/FreeUdpPort.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestDatabase.h"

extern char** environ;

using namespace kestrix;

namespace {

struct CollectRun {
    int status = -1;
    double wall = 0, cpu = 0;
    long peakKilobytes = 0;
};

// The collector as a child of its own, so that its CPU time and peak memory
// are its own alone.
CollectRun Collect(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    CollectRun run;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKilobytes = usage.ru_maxrss;
    return run;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int controllers = argc > 1 ? std::atoi(argv[1]) : 50;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 5;
    const QStringList jobsList = QString::fromLatin1(argc > 3 ? argv[3] : "1,16").split(',');
    const int events = argc > 4 ? std::atoi(argv[4]) : 300;
    if (controllers < 1 || controllers > 250) return 2;

    const quint16 controllerPort = test::FreeUdpPort(QHostAddress("127.0.0.1"));
    const quint16 replyPort = test::FreeUdpPort(QHostAddress::AnyIPv4);
    std::vector<std::unique_ptr<test::SimProcess>> simulators;
    std::string rows;
    for (int k = 1; k <= controllers; ++k) {
        char id[13], ip[9];
        std::snprintf(id, sizeof id, "AABBCC0000%02X", k);
        std::snprintf(ip, sizeof ip, "7F0000%02X", k);
        rows += std::string("INSERT INTO fb_dvs VALUES ('") + id + "', '" + ip + "');\n";
        simulators.push_back(std::make_unique<test::SimProcess>(
            KESTRIX_SIM_PATH, replyPort,
            QStringList{"--latency", QString::number(delayMs), "--event-count", QString::number(events), "--seed",
                        QString::number(k)},
            QStringLiteral("127.0.0.%1").arg(k), controllerPort));
    }
    constexpr int kPages = (kLastPageValue - kFirstPageValue) / kPageValueStep + 1;
    std::printf("%d controllers on 127.0.0.1-%d, %d ms a page, %d events each, %d pages each\n", controllers,
                controllers, delayMs, events, kPages);
    std::printf("%-6s %10s %10s %14s %10s %8s\n", "jobs", "wall s", "CPU s", "CPU us/page", "peak MB", "status");
    double firstWall = 0;
    for (const QString& jobs : jobsList) {
        QTemporaryDir app;
        const std::string dir = app.path().toStdString() + "/";
        test::CreateDatabase(dir + "DB", rows);
        std::FILE* settings = std::fopen((dir + "settings.ini").c_str(), "wb");
        std::fprintf(settings, "[main]\r\nDB_path=%sDB\r\n", dir.c_str());
        std::fclose(settings);
        const CollectRun run =
            Collect({KESTRIX_COLLECT_PATH, "--all", "--mode", "ip", "--jobs", jobs.toStdString(), "--app-dir", dir,
                     "--reply-port", std::to_string(replyPort), "--controller-port", std::to_string(controllerPort)});
        if (firstWall == 0) firstWall = run.wall;
        std::printf("%-6s %10.1f %10.2f %14.1f %10.1f %8d   (%.3f of the first row's time)\n", qPrintable(jobs), run.wall,
                    run.cpu, run.cpu * 1e6 / (static_cast<double>(kPages) * controllers), run.peakKilobytes / 1024.0,
                    run.status, run.wall / firstWall);
        std::fflush(stdout);
    }
    return 0;
}
