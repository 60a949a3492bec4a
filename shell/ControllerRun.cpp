#include "shell/ControllerRun.h"

#include "events/EventExport.h"

namespace kestrix {

DownloadOutcome ControllerRun::download(ControllerExchange& link, const std::function<void(int pageValue)>& pageRead) {
    return DownloadEventMemory(link, m_rawRecords, pageRead ? pageRead : [](int) {});
}

void ControllerRun::validate(const std::function<void(std::size_t)>& checked) {
    m_valid = ValidateRecords(m_rawRecords, checked);
}

LoadCounts ControllerRun::load(EventStore& store, const std::string& controllerId, DateTimeValue from, DateTimeValue to,
                               const LoadProgress& progress) const {
    return LoadEvents(store, m_valid.events, controllerId, from, to, progress);
}

void ControllerRun::exportText(const std::string& path) const {
    WriteEventTextFile(path, m_valid.events);
}

}  // namespace kestrix
