// The notification window's procedure: each accept notification becomes one
// request, read, answered and closed before the next message is handled.
#include "net/channel.h"
#include "server/request_intake.h"
#include "server/routes.h"
#include "server/server_control.h"

namespace qv::server {
namespace {

constexpr intptr_t kAcceptWithoutError = 8;

// The close step: close the channel, free the slot, blank its request text and empty its answer.
void CloseConnection(const Connection& connection) {
    net::CloseChannel(connection.channel, net::ChannelKind::Tcp);
    ReleaseSlot(connection.slot);
}

void HandleRequest(const Connection& connection) {
    try {
        RequestReader reader;
        if (ReadRequest(connection.channel, reader) == RequestReader::Status::Decided) {
            Answer answer = Dispatch(connection, reader.request(), CurrentSettings());
            SendAnswerNow(connection.channel, answer);
        }
    } catch (...) {
        // Whatever failed, the connection still ends with the close step.
    }
    CloseConnection(connection);
}

void AcceptOne() {
    int32_t listening;
    {
        ServerState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        if (!s.listeningOpen) return;
        listening = s.listeningChannel;
    }
    int16_t number = net::NextChannelNumber();
    if (number == 0 || net::AcceptChannel(listening, number) != net::kOk) return;
    int32_t slot = ClaimSlot(number);
    if (slot < 0) {
        // Every slot is busy: the connection is closed without an answer.
        net::CloseChannel(number, net::ChannelKind::Tcp);
        return;
    }
    HandleRequest(Connection{slot, number});
}

}  // namespace

intptr_t NotificationHandler(platform::Window /*window*/, uint32_t message, uintptr_t /*wParam*/, intptr_t lParam) {
    try {
        if (message == net::kAcceptMessage && lParam == kAcceptWithoutError) AcceptOne();
    } catch (...) {
        // A failure ends the handling of this notification; the server goes on.
    }
    return 0;
}

}  // namespace qv::server
