#include "events/EventDownload.h"

#include "events/EventRecords.h"

namespace kestrix {

DownloadOutcome DownloadEventMemory(DownloadLink& link, ReplySlot& reply, std::vector<HexText>& rawRecords) {
    rawRecords.clear();
    for (int page = kFirstPageValue; page <= kLastPageValue; page += kPageValueStep) {
        const HexText body = PageReadBody(page);
        reply.ReplyReceived = false;
        link.sendRequest(body);
        if (!link.waitForReply(kReplyTimeout)) {
            link.sendRequest(body);
            if (!link.waitForReply(kReplyTimeout)) return DownloadOutcome::ControllerSilent;
        }
        if (!reply.LastReplyData.empty()) CollectPlausibleSlots(reply.LastReplyData, rawRecords);
        link.pageDone(page);
    }
    return DownloadOutcome::AllPagesRead;
}

}  // namespace kestrix
