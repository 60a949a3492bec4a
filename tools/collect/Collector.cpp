#include "tools/collect/Collector.h"

#include <QEventLoop>
#include <QThread>

#include "events/EventRecords.h"
#include "link/MacSender.h"
#include "shell/ControllerRun.h"

namespace kestrix::collect {

std::string Printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return shown;
}

std::string ExportFileFor(const std::string& pattern, const std::string& id) {
    std::string file = pattern;
    for (std::size_t at; (at = file.find("{mac}")) != std::string::npos;) file.replace(at, 5, id);
    return file;
}

// One job's thread: what it is collecting, for the progress line.
struct Collector::Job {
    mutable std::mutex mutex;
    std::string status;  // empty while idle
    // The controller being collected, as its requests are routed, and why a
    // MAC-mode send failed; the job's thread alone uses these.
    std::string id;
    std::string ip;
    std::string sendProblem;

    std::function<void()> changed;  // set before the thread starts

    void show(std::string text) {
        {
            const std::lock_guard lock(mutex);
            status = std::move(text);
        }
        changed();
    }
    std::string shown() const {
        const std::lock_guard lock(mutex);
        return status;
    }
};

Collector::Collector(const CollectOptions& options, RunLink link, Installation& installation, ReplyRouter& replies,
                     MacSenderFactory macSenders)
    : m_options(options),
      m_link(std::move(link)),
      m_installation(installation),
      m_replies(replies),
      m_macSenders(std::move(macSenders)) {}

void Collector::collect(const std::vector<std::string>& ids,
                        const std::function<void(const ControllerResult&)>& finished,
                        const std::function<void(const std::string&)>& progress) {
    const std::size_t jobCount = std::min<std::size_t>(static_cast<std::size_t>(m_options.jobs), ids.size());
    std::vector<std::unique_ptr<Job>> jobs;
    std::atomic<std::size_t> next = 0;
    QEventLoop loop;
    std::size_t running = jobCount;
    const auto reportOnThisThread = [&](ControllerResult result) {
        QMetaObject::invokeMethod(&loop, [&, result = std::move(result)] { finished(result); }, Qt::QueuedConnection);
    };
    // The progress line is drawn on this thread, at most once for every
    // batch of changes that the jobs report meanwhile.
    std::atomic<bool> redrawPending = false;
    const auto redraw = [&] {
        redrawPending = false;
        std::string line;
        for (const auto& job : jobs)
            if (const std::string shown = job->shown(); !shown.empty()) line += (line.empty() ? "" : "  ") + shown;
        progress(line);
    };
    const auto changed = [&] {
        if (progress && !redrawPending.exchange(true)) QMetaObject::invokeMethod(&loop, redraw, Qt::QueuedConnection);
    };
    for (std::size_t i = 0; i < jobCount; ++i) {
        jobs.push_back(std::make_unique<Job>());
        jobs.back()->changed = changed;
    }
    std::vector<std::unique_ptr<QThread>> threads;
    for (const auto& started : jobs) {
        Job& job = *started;
        threads.emplace_back(QThread::create([&] {
            runJob(job, next, ids, reportOnThisThread);
            QMetaObject::invokeMethod(&loop, [&] { if (--running == 0) loop.quit(); }, Qt::QueuedConnection);
        }));
        threads.back()->start();
    }
    if (jobCount > 0) loop.exec();
    for (const auto& thread : threads) thread->wait();
    if (progress) progress("");
}

void Collector::runJob(Job& job, std::atomic<std::size_t>& next, const std::vector<std::string>& ids,
                       const std::function<void(ControllerResult)>& finished) {
    // Everything the thread talks to the controllers through is its own and
    // made here, on its thread.
    ThreadPump pump;
    std::unique_ptr<MacFrameSender> macSender;
    std::unique_ptr<ControllerSession> session;
    std::string setupProblem;
    try {
        macSender = m_macSenders();
        session = std::make_unique<ControllerSession>(
            m_replies, m_options.controllerPort, ResolveHostName, *macSender, pump,
            [&] { return ControllerRoute{m_link.mode, job.id, QString::fromStdString(job.ip), m_link.device, m_link.deviceAddress}; },
            [&](MacSendResult result, const std::string& reason) {
                job.sendProblem = MacSendErrorText(result) + (reason.empty() ? "" : " " + reason);
            });
        session->setReplyTimeout(std::chrono::milliseconds(m_options.replyTimeoutMs));
    } catch (const std::exception& error) {
        setupProblem = error.what();
    }
    for (std::size_t i; (i = next++) < ids.size();) {
        if (!setupProblem.empty()) {
            finished({ids[i], false, setupProblem});
            continue;
        }
        job.id = ids[i];
        job.ip = m_installation.controllerIpText(ids[i]);
        job.sendProblem.clear();
        finished(collectOne(job, ids[i], *session));
        job.show("");
    }
}

ControllerResult Collector::collectOne(Job& job, const std::string& id, ControllerSession& session) {
    const auto started = std::chrono::steady_clock::now();
    ControllerResult result;
    result.id = id;
    const auto finish = [&](std::string problem) {
        result.ok = problem.empty();
        result.problem = std::move(problem);
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return result;
    };
    // The id comes from fb_dvs, which any operator may write: it names files
    // (--export) only as the 12 hex digits of a controller.
    if (!IsMacText(id)) return finish("not a controller id (12 hex digits); skipped");
    if (m_link.mode == LinkMode::Ip && job.ip.empty()) return finish("no IP address for this controller");

    ControllerRun run;
    constexpr int kPages = (kLastPageValue - kFirstPageValue) / kPageValueStep + 1;
    try {
        const auto pageRead = [&](int pageValue) {
            if (pageValue % 128 == 0)
                job.show(id + ": page " + std::to_string(pageValue / kPageValueStep + 1) + " of " + std::to_string(kPages));
        };
        if (run.download(session, pageRead) == DownloadOutcome::ControllerSilent)
            return finish(job.sendProblem.empty() ? "Контроллер не отвечает"
                                                  : "Контроллер не отвечает (" + job.sendProblem + ")");
    } catch (const std::exception& error) {
        return finish(error.what());
    }
    run.validate();
    result.events = run.events().size();
    if (run.events().empty()) return finish("");
    try {
        if (!m_options.exportFile.empty()) run.exportText(ExportFileFor(m_options.exportFile, id));
        const DateTimeValue from = m_options.from.value_or(DateOnly(run.earliest()));
        const DateTimeValue to = m_options.to.value_or(DateOnly(run.latest()));
        job.show(id + ": waiting for the database");
        const std::lock_guard turn(m_databaseTurn);
        const LoadCounts counts = run.load(
            m_installation.eventStore(), id, from, to,
            {[&](int loaded) { result.loaded = loaded; }, [&](int duplicates) { result.duplicates = duplicates; },
             [&](std::size_t done) {
                 if (done % 256 == 0)
                     job.show(id + ": loading " + std::to_string(done) + " of " + std::to_string(result.events));
             }});
        result.loaded = counts.loaded;
        result.duplicates = counts.duplicates;
    } catch (const std::exception& error) {
        return finish(error.what());
    }
    return finish("");
}

}  // namespace kestrix::collect
