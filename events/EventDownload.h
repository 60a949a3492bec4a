#pragma once
// The paged read of a controller's event memory: one read request per page,
// a wait of 5,000 ms for the reply, one repeat, and the plausible slots of
// every page collected in order.

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "link/ControllerMessage.h"

namespace kestrix {

constexpr std::chrono::milliseconds kReplyTimeout{5000};

// The controller as a download sees it: send this body, give me the reply or nothing.
class ControllerExchange {
public:
    virtual ~ControllerExchange() = default;
    // A download begins: nothing that arrived before it is its reply.
    virtual void beginRun() = 0;
    // Forgets the reply taken so far: the next accepted reply is the awaited one.
    virtual void expectReply() = 0;
    // Sends one request body to the controller, by the link mode and address in
    // force at this moment. An error it throws ends the download.
    virtual void sendRequest(const HexText& body) = 0;
    // The data part of the reply accepted since expectReply(), waiting at most
    // timeout for it; nothing when none came.
    virtual std::optional<HexText> awaitReply(std::chrono::milliseconds timeout) = 0;
};

enum class DownloadOutcome { AllPagesRead, ControllerSilent };

// Reads every page from 0000 to 2FFE into rawRecords (cleared first), telling
// pageDone the page value of every page taken. Replies are not matched to
// requests: whatever accepted reply of this run arrives while a page is
// awaited is that page's data.
DownloadOutcome DownloadEventMemory(ControllerExchange& link, std::vector<HexText>& rawRecords,
                                    const std::function<void(int pageValue)>& pageDone);

}  // namespace kestrix
