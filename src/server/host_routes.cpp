// Offering a request to the host: by the request message to its window or by
// a call of its callback, under the host mutex when one is set.
#include "content/trim.h"
#include "net/channel.h"
#include "server/responses.h"
#include "server/routes.h"

namespace qv::server {
namespace {

// Holds the host mutex, when one is set, for the time the host has the request.
class HostMutexHold {
public:
    explicit HostMutexHold(platform::Mutex mutex) : mutex_(mutex) {
        if (mutex_ != 0) platform::WaitMutexForever(mutex_);
    }
    ~HostMutexHold() {
        if (mutex_ != 0) platform::ReleaseHostMutex(mutex_);
    }
    HostMutexHold(const HostMutexHold&) = delete;
    HostMutexHold& operator=(const HostMutexHold&) = delete;

private:
    platform::Mutex mutex_;
};

// What follows the host's turn: a posted text, else the header alone when the
// host said it answered, else the file.
void AnswerAfterHost(const Connection& connection, const Request& request, const Settings& settings,
                     intptr_t result) {
    std::string answer = SlotAnswer(connection.slot);
    if (!answer.empty()) {
        SendAnswer(connection.channel, PostedAnswerResponse(answer));
    } else if (result != 0) {
        SendAnswer(connection.channel, HeaderOnlyResponse(request.contentType));
    } else {
        ServeFile(connection, request, settings);
    }
}

}  // namespace

void OfferToWindow(const Connection& connection, const Request& request, const Settings& settings) {
    SetSlotRequestField(connection.slot, content::TrimRequestText(request.path));
    intptr_t result;
    {
        HostMutexHold hold(settings.hostMutex);
        result = platform::SendWindowMessage(settings.hostWindow, kRequestMessage,
                                             static_cast<uintptr_t>(connection.slot), 0);
    }
    AnswerAfterHost(connection, request, settings, static_cast<int32_t>(result));
}

void OfferToCallback(const Connection& connection, const Request& request, const Settings& settings) {
    SetSlotRequestField(connection.slot, content::TrimRequestText(request.path));
    int32_t result;
    {
        HostMutexHold hold(settings.hostMutex);
        std::string peer = net::ChannelPeerAddress(connection.channel);
        std::string field = SlotRequestField(connection.slot);
        field.resize(kRequestFieldSize, ' ');
        result = settings.callback(connection.slot, peer.c_str(), static_cast<int32_t>(peer.size()),
                                   field.c_str(), static_cast<int32_t>(kRequestFieldSize));
    }
    AnswerAfterHost(connection, request, settings, result);
}

void Dispatch(const Connection& connection, const Request& request, const Settings& settings) {
    if (request.cgiFlag != 0) {
        ServeProgram(connection, request, settings);
    } else if (settings.hostWindow != 0 && platform::WindowExists(settings.hostWindow)) {
        OfferToWindow(connection, request, settings);
    } else if (settings.callback != nullptr) {
        OfferToCallback(connection, request, settings);
    } else {
        ServeFile(connection, request, settings);
    }
}

}  // namespace qv::server
