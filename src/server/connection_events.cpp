#include "server/connection_events.h"

#include "server/connection_table.h"

namespace qv::server {
namespace {

struct ServingTable {
    TableOptions next;  // for the table of the next start
    // The running server's table; after a stop, the last one, until a start replaces it.
    ConnectionTable* table = nullptr;
    // Calls into the table under way: a host may stop and start the server
    // from inside one (a hand-off), with the table still at work up the stack.
    int callsUnderWay = 0;
};

// Never destroyed: the library's unload closes what is still open, and may
// come after the process's static objects are gone.
ServingTable& Serving() {
    static ServingTable& serving = *new ServingTable;
    return serving;
}

template <typename Call>
void IntoTable(Call call) {
    ServingTable& serving = Serving();
    if (serving.table == nullptr) return;
    struct UnderWay {
        int& calls;
        explicit UnderWay(int& calls) : calls(calls) { ++calls; }
        ~UnderWay() { --calls; }
    } underWay(serving.callsUnderWay);
    call(*serving.table);
}

}  // namespace

void UseTableOptions(const TableOptions& options) { Serving().next = options; }

void BeginServing(platform::Window window, const Settings& settings) {
    ServingTable& serving = Serving();
    // A start from inside a call into the last table keeps that table: it is
    // still at work, and a hand-off under way there keeps the host's requests
    // one at a time.
    if (serving.table == nullptr || serving.callsUnderWay == 0) {
        delete serving.table;
        serving.table = new ConnectionTable(serving.next, settings);
    }
    serving.table->BeginServing(window);
}

void EndServing() {
    if (ConnectionTable* table = Serving().table) table->EndServing();
}

void AcceptPending() {
    IntoTable([](ConnectionTable& table) { table.AcceptPending(); });
}

void OnConnectionEvent(platform::Socket socket, uint32_t events, uint32_t error) {
    IntoTable([=](ConnectionTable& table) { table.OnConnectionEvent(socket, events, error); });
}

void OnProgramEnd(uintptr_t tag) {
    IntoTable([=](ConnectionTable& table) { table.OnProgramEnd(tag); });
}

void OnTimer(uintptr_t id) {
    IntoTable([=](ConnectionTable& table) { table.OnTimer(id); });
}

}  // namespace qv::server
