// Requests handed to the host (or served as files), one at a time.
#include <utility>

#include "server/connection_table.h"

namespace qv::server {

void ConnectionTable::HandOff(LiveConnection& c) {
    handOffs_.push_back(RefOf(c));
    if (handingOff_) return;
    handingOff_ = true;
    while (!handOffs_.empty()) {
        const ConnectionRef ref = handOffs_.front();
        handOffs_.pop_front();
        LiveConnection* next = Find(ref);
        if (next == nullptr) continue;
        // The host may stop the server, or a pumped message may close this
        // connection, while it has the request: nothing of the record is used
        // across the call.
        const Request request = next->machine.request();
        Answer answer;
        bool failed = false;
        const uint64_t before = NowMs();
        try {
            answer = Dispatch(RouteView(*next), request, CurrentSettings());
        } catch (...) {
            failed = true;
        }
        // While the host had the request nothing else was served.
        const uint64_t after = NowMs();
        if (after - before >= kDeadlineCheckMs) RestartDeadlines(after);
        next = Find(ref);
        if (next == nullptr) continue;
        if (failed) {
            Close(*next);
        } else {
            Deliver(*next, std::move(answer));
        }
    }
    handingOff_ = false;
}

}  // namespace qv::server
