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

// The slot's request is with the host from here until End() (or the end of
// this object): only then does a post for the slot count, and the slot stays
// the connection's meanwhile.
class HostTurn {
public:
    explicit HostTurn(int32_t slot) : slot_(slot) { BeginHostTurn(slot_); }
    ~HostTurn() { End(); }
    HostTurn(const HostTurn&) = delete;
    HostTurn& operator=(const HostTurn&) = delete;
    // The answer the host posted during its turn.
    std::string End() {
        if (ended_) return std::string();
        ended_ = true;
        return EndHostTurn(slot_);
    }

private:
    int32_t slot_;
    bool ended_ = false;
};

// The host's turn with the request, by `call` under the host mutex; then a
// posted text, else the header alone when the host said it answered, else the file.
template <typename Call>
Answer OfferToHost(const Connection& connection, const Request& request, const Settings& settings, Call call) {
    SetSlotRequestField(connection.slot, content::TrimRequestText(request.path));
    HostTurn turn(connection.slot);
    int32_t result;
    {
        HostMutexHold hold(settings.hostMutex);
        result = call();
    }
    const std::string posted = turn.End();
    if (!posted.empty()) return AnswerOf(PostedAnswerResponse(posted));
    if (result != 0) return AnswerOf(HeaderOnlyResponse(request.contentType));
    return ServeFile(connection, request, settings);
}

}  // namespace

Answer OfferToWindow(const Connection& connection, const Request& request, const Settings& settings) {
    return OfferToHost(connection, request, settings, [&] {
        return static_cast<int32_t>(platform::SendWindowMessage(settings.hostWindow, kRequestMessage,
                                                                static_cast<uintptr_t>(connection.slot), 0));
    });
}

Answer OfferToCallback(const Connection& connection, const Request& request, const Settings& settings) {
    return OfferToHost(connection, request, settings, [&] {
        std::string peer = net::ChannelPeerAddress(connection.channel);
        std::string field = SlotRequestField(connection.slot);
        field.resize(kRequestFieldSize, ' ');
        return settings.callback(connection.slot, peer.c_str(), static_cast<int32_t>(peer.size()), field.c_str(),
                                 static_cast<int32_t>(kRequestFieldSize));
    });
}

// A refusal of the reader is answered by the route choice, never by a program.
bool WantsProgram(const Request& request) { return request.refusal == Refusal::None && request.cgiFlag != 0; }

namespace {

Answer Route(const Connection& connection, const Request& request, const Settings& settings) {
    if (request.refusal != Refusal::None) return AnswerOf(RefusalResponse(request.refusal));
    if (settings.hostWindow != 0 && platform::WindowExists(settings.hostWindow)) {
        return OfferToWindow(connection, request, settings);
    }
    if (settings.callback != nullptr) return OfferToCallback(connection, request, settings);
    return ServeFile(connection, request, settings);
}

}  // namespace

Answer Dispatch(const Connection& connection, const Request& request, const Settings& settings) {
    Answer answer = Route(connection, request, settings);
    if (request.head) answer.DropBody();
    return answer;
}

}  // namespace qv::server
