#include "events/EventDownload.h"

#include "events/EventRecords.h"

namespace kestrix {

DownloadOutcome DownloadEventMemory(ControllerExchange& link, std::vector<HexText>& rawRecords,
                                    const std::function<void(int pageValue)>& pageDone) {
    rawRecords.clear();
    link.beginRun();
    for (int page = kFirstPageValue; page <= kLastPageValue; page += kPageValueStep) {
        const HexText body = PageReadBody(page);
        link.expectReply();
        link.sendRequest(body);
        std::optional<HexText> data = link.awaitReply(kReplyTimeout);
        if (!data) {
            link.sendRequest(body);
            data = link.awaitReply(kReplyTimeout);
            if (!data) return DownloadOutcome::ControllerSilent;
        }
        if (!data->empty()) CollectPlausibleSlots(*data, rawRecords);
        pageDone(page);
    }
    return DownloadOutcome::AllPagesRead;
}

}  // namespace kestrix
