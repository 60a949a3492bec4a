#include "tools/collect/Collector.h"

#include "events/EventExport.h"
#include "events/EventRecords.h"
#include "link/MacSender.h"

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

Collector::Collector(const CollectOptions& options, RunLink link, ControllerSession& session, EventStore& store,
                     std::ostream& progress, bool showProgress)
    : m_options(options), m_link(std::move(link)), m_session(session), m_store(store), m_progress(progress),
      m_showProgress(showProgress) {}

ControllerRoute Collector::route() const {
    return {m_link.mode, m_id, QString::fromStdString(m_ip), m_link.device, m_link.deviceAddress};
}

void Collector::macSendFailed(MacSendResult result, const std::string& reason) {
    m_sendProblem = MacSendErrorText(result) + (reason.empty() ? "" : " " + reason);
}

void Collector::showProgress(const std::string& text) {
    if (m_showProgress) m_progress << "\r\033[K" << text << std::flush;
}

ControllerResult Collector::collect(const std::string& id, const std::string& ipText) {
    const auto started = std::chrono::steady_clock::now();
    ControllerResult result;
    result.id = id;
    m_id = id;
    m_ip = ipText;
    m_sendProblem.clear();
    const auto finish = [&](std::string problem) {
        showProgress("");
        result.ok = problem.empty();
        result.problem = std::move(problem);
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return result;
    };
    // The id comes from fb_dvs, which any operator may write: it names files
    // (--export) only as the 12 hex digits of a controller.
    if (!IsMacText(id)) return finish("not a controller id (12 hex digits); skipped");
    if (m_link.mode == LinkMode::Ip && ipText.empty()) return finish("no IP address for this controller");

    std::vector<HexText> raw;
    try {
        const auto pageDone = [this](int pageValue) {
            if (pageValue % 128 == 0) showProgress(m_id + ": page " + std::to_string(pageValue / 2 + 1) + " of 6144");
        };
        if (DownloadEventMemory(m_session, raw, pageDone) == DownloadOutcome::ControllerSilent)
            return finish(m_sendProblem.empty() ? "Контроллер не отвечает" : "Контроллер не отвечает (" + m_sendProblem + ")");
    } catch (const std::exception& error) {
        return finish(error.what());
    }
    const ValidationResult valid = ValidateRecords(raw);
    result.events = valid.events.size();
    if (valid.events.empty()) return finish("");
    try {
        if (!m_options.exportFile.empty()) WriteEventTextFile(ExportFileFor(m_options.exportFile, id), valid.events);
        const DateTimeValue from = m_options.from.value_or(DateOnly(valid.earliest));
        const DateTimeValue to = m_options.to.value_or(DateOnly(valid.latest));
        const LoadCounts counts = LoadEvents(
            m_store, valid.events, id, from, to,
            {[&](int loaded) { result.loaded = loaded; }, [&](int duplicates) { result.duplicates = duplicates; },
             [&](std::size_t done) {
                 if (done % 256 == 0)
                     showProgress(id + ": loading " + std::to_string(done) + " of " + std::to_string(valid.events.size()));
             }});
        result.loaded = counts.loaded;
        result.duplicates = counts.duplicates;
    } catch (const std::exception& error) {
        return finish(error.what());
    }
    return finish("");
}

}  // namespace kestrix::collect
