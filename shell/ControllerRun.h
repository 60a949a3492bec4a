#pragma once
// One controller's events as the window and the collector handle them: the
// paged download, the check of the records, the load of an interval into the
// database and the export. Holds the two record lists between the steps.

#include <functional>
#include <string>
#include <vector>

#include "db/EventLoader.h"
#include "events/EventDownload.h"
#include "events/EventRecords.h"

namespace kestrix {

class ControllerRun {
public:
    // Reads the controller's whole event memory into the raw record list
    // (pageRead gets every page value taken). Errors of the link escape.
    DownloadOutcome download(ControllerExchange& link, const std::function<void(int pageValue)>& pageRead = {});
    // Keeps the valid records as the events, with their earliest and latest
    // times; checked(i) is called before raw record i is examined.
    void validate(const std::function<void(std::size_t)>& checked = {});

    const std::vector<HexText>& rawRecords() const { return m_rawRecords; }
    const std::vector<HexText>& events() const { return m_valid.events; }
    DateTimeValue earliest() const { return m_valid.earliest; }
    DateTimeValue latest() const { return m_valid.latest; }

    // Loads the events of [from, to] under the controller's id. Throws the
    // database's errors.
    LoadCounts load(EventStore& store, const std::string& controllerId, DateTimeValue from, DateTimeValue to,
                    const LoadProgress& progress = {}) const;
    // Writes the events to a text file. Throws std::runtime_error.
    void exportText(const std::string& path) const;

private:
    std::vector<HexText> m_rawRecords;
    ValidationResult m_valid;
};

}  // namespace kestrix
