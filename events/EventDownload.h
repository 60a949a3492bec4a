#pragma once
// The paged read of a controller's event memory: one read request per page,
// a wait of 5,000 ms for the reply, one repeat, and the plausible slots of
// every page collected in order.

#include <chrono>
#include <vector>

#include "link/ControllerMessage.h"

namespace kestrix {

constexpr std::chrono::milliseconds kReplyTimeout{5000};

// What a download needs from its surroundings.
class DownloadLink {
public:
    virtual ~DownloadLink() = default;
    // Sends one request body to the controller, by the link mode and address in
    // force at this moment. An error it throws ends the download.
    virtual void sendRequest(const HexText& body) = 0;
    // Waits until the reply slot has been set or the timeout has passed; returns
    // whether it has been set.
    virtual bool waitForReply(std::chrono::milliseconds timeout) = 0;
    // A page has been taken (its page value).
    virtual void pageDone(int pageValue) = 0;
};

enum class DownloadOutcome { AllPagesRead, ControllerSilent };

// Reads every page from 0000 to 2FFE into rawRecords (cleared first). Replies
// are not matched to requests: whatever accepted reply arrives while a page is
// awaited is that page's data.
DownloadOutcome DownloadEventMemory(DownloadLink& link, ReplySlot& reply, std::vector<HexText>& rawRecords);

}  // namespace kestrix
