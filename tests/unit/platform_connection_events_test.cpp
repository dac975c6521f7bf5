// Events of connected sockets as window messages, by the asynchronous-select
// rules: each kind reported once, and again only after the call that consumes
// it; the close once; nothing after the registration ends. Also sending a
// file without waiting. The client end is a plain blocking loopback socket.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "loopback_connect.h"
#include "platform/platform.h"
#include "pump_until.h"

namespace {

namespace platform = qv::platform;
namespace loopback = qvtest::loopback;
using qvtest::PumpUntil;

constexpr loopback::Socket kNoClient = qvtest::RecordingServer::kNoSocket;
constexpr uint32_t kConnectionMessage = 1098;
constexpr uint32_t kAllEvents = platform::kSocketRead | platform::kSocketWrite | platform::kSocketClose;

struct Event {
    platform::Socket socket;
    uint32_t kind;
    uint32_t error;
};
std::vector<Event> gEvents;  // written by the loop of the test's own thread only

intptr_t RecordEvent(platform::Window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kConnectionMessage) {
        const auto bits = static_cast<uint32_t>(lParam);
        gEvents.push_back(Event{static_cast<platform::Socket>(wParam), bits & 0xffff, bits >> 16});
    }
    return 0;
}

struct Connection {
    loopback::Socket client = kNoClient;
    platform::Socket server = platform::kNoSocket;
};

class ConnectionEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(platform::SocketLibraryStart());
        listening_ = loopback::Listen(port_);
        ASSERT_NE(listening_, kNoClient);
        window_ = platform::CreateHiddenWindow(&RecordEvent);
        ASSERT_NE(window_, 0u);
        gEvents.clear();
    }
    void TearDown() override {
        for (Connection& connection : connections_) {
            if (connection.server != platform::kNoSocket) platform::CloseSocket(connection.server);
            if (connection.client != kNoClient) loopback::Close(connection.client);
        }
        if (listening_ != kNoClient) loopback::Close(listening_);
        platform::DestroyHiddenWindow(window_);
        platform::SocketLibraryStop();
    }
    // A new connection whose server end is registered for `events`.
    Connection& Open(uint32_t events = kAllEvents) {
        Connection connection;
        connection.client = loopback::Connect(port_);
        EXPECT_NE(connection.client, kNoClient);
        EXPECT_TRUE(loopback::Readable(listening_, 5000));
        connection.server = platform::AcceptConnection(static_cast<platform::Socket>(listening_));
        EXPECT_NE(connection.server, platform::kNoSocket);
        EXPECT_TRUE(platform::NotifySocketEvents(connection.server, window_, kConnectionMessage, events));
        connections_.push_back(connection);
        return connections_.back();
    }
    static int Count(platform::Socket socket, uint32_t kind) {
        int count = 0;
        for (const Event& event : gEvents) count += event.socket == socket && event.kind == kind ? 1 : 0;
        return count;
    }
    // Lets anything that is going to be reported arrive.
    static void Settle() { platform::PumpMessages(150); }
    static std::string ReceiveAll(platform::Socket socket) {
        std::string bytes;
        char buffer[4096];
        long got;
        while ((got = platform::ReceiveSocketNow(socket, buffer, sizeof buffer)) > 0) bytes.append(buffer, got);
        return bytes;
    }

    uint16_t port_ = 0;
    loopback::Socket listening_ = kNoClient;
    platform::Window window_ = 0;
    std::deque<Connection> connections_;  // stable places: tests hold references
};

TEST_F(ConnectionEvents, ReadComesOnceAndAgainOnlyAfterAReceive) {
    const Connection& c = Open();
    loopback::SendAll(c.client, "first");
    ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketRead) == 1; }));
    EXPECT_EQ(gEvents.front().error, 0u);
    // More bytes, no receive yet: nothing new is reported.
    loopback::SendAll(c.client, "second");
    Settle();
    EXPECT_EQ(Count(c.server, platform::kSocketRead), 1);
    // A receive that leaves bytes behind brings the event back.
    char two[2];
    ASSERT_EQ(platform::ReceiveSocketNow(c.server, two, sizeof two), 2);
    ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketRead) == 2; }));
    EXPECT_EQ(ReceiveAll(c.server), "rstsecond");
    // Everything read: the next event waits for new bytes.
    Settle();
    EXPECT_EQ(Count(c.server, platform::kSocketRead), 2);
    loopback::SendAll(c.client, "third");
    ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketRead) == 3; }));
    EXPECT_EQ(ReceiveAll(c.server), "third");
    EXPECT_EQ(Count(c.server, platform::kSocketClose), 0);
}

TEST_F(ConnectionEvents, CloseComesOnceAndTheUnreadBytesStayReadable) {
    struct Case {
        const char* name;
        bool reset;
    } cases[] = {{"orderly close", false}, {"reset", true}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Connection& c = Open();
        loopback::SendAll(c.client, "last words");
        ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketRead) == 1; }));
        if (test.reset) {
            loopback::Reset(c.client);
        } else {
            loopback::Close(c.client);
        }
        c.client = kNoClient;
        // Wine reports an orderly close only once the bytes before it are read.
        const bool readFirst = !test.reset && platform::DirectorySeparator() == '\\';
        std::string early;
        if (readFirst) early = ReceiveAll(c.server);
        ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketClose) == 1; }));
        uint32_t error = 0;
        for (const Event& event : gEvents) {
            if (event.socket == c.server && event.kind == platform::kSocketClose) error = event.error;
        }
        if (test.reset) {
            // (Wine reports a reset without its error code.)
            if (platform::DirectorySeparator() == '/') {
                EXPECT_NE(error, 0u);
            }
        } else {
            EXPECT_EQ(error, 0u);
            EXPECT_EQ(early + ReceiveAll(c.server), "last words");
            char byte;
            EXPECT_EQ(platform::ReceiveSocketNow(c.server, &byte, 1), 0);  // the end
        }
        Settle();
        EXPECT_EQ(Count(c.server, platform::kSocketClose), 1);
        EXPECT_EQ(Count(c.server, platform::kSocketWrite), 1);  // only the first, at registration
    }
}

TEST_F(ConnectionEvents, WriteComesOnceAndAgainOnlyAfterASendThatWouldHaveBlocked) {
    const Connection& c = Open();
    ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketWrite) == 1; }));
    // The client reads nothing: the server sends until the socket takes no more.
    const std::string chunk(65536, 'w');
    size_t sent = 0;
    auto sendUntilFull = [&] {
        long result = 0;
        while (sent < (size_t{64} << 20) && (result = platform::SendSocketNow(c.server, chunk.data(), chunk.size())) > 0) {
            sent += static_cast<size_t>(result);
            platform::PumpMessages(0);
        }
        return result;
    };
    // A socket with a small send buffer may find room again as its bytes move
    // on to the client's side: a report then follows the send that would have
    // blocked, never one that did not, and the sends go on until no room comes.
    int reports = 1;
    for (int round = 0;; ++round) {
        ASSERT_LT(round, 64);
        ASSERT_EQ(sendUntilFull(), platform::kWouldBlock);
        Settle();
        const int now = Count(c.server, platform::kSocketWrite);
        ASSERT_LE(now, reports + 1) << "reported again after sends that did not block";
        if (now == reports) break;
        reports = now;
    }
    // The client takes everything: the socket can send again and says so.
    std::thread reader([&] {
        std::vector<char> buffer(65536);
        size_t received = 0;
        while (received < sent) {
            long got = loopback::Receive(c.client, buffer.data(), buffer.size());
            if (got <= 0) break;
            received += static_cast<size_t>(got);
        }
    });
    const bool reported = PumpUntil([&] { return Count(c.server, platform::kSocketWrite) == reports + 1; });
    reader.join();
    EXPECT_TRUE(reported);
}

TEST_F(ConnectionEvents, NothingIsReportedOnceTheRegistrationEnds) {
    struct Case {
        const char* name;
        bool closeSocket;
    } cases[] = {{"no events asked", false}, {"socket closed", true}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Connection& c = Open();
        ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketWrite) == 1; }));
        const platform::Socket ended = c.server;
        if (test.closeSocket) {
            platform::CloseSocket(c.server);
            c.server = platform::kNoSocket;
        } else {
            ASSERT_TRUE(platform::NotifySocketEvents(c.server, window_, kConnectionMessage, 0));
        }
        gEvents.clear();
        loopback::SendAll(c.client, "anyone there?");
        // A new connection may get the number of the closed one: only its own events come.
        const Connection& next = Open();
        loopback::SendAll(next.client, "hello");
        ASSERT_TRUE(PumpUntil([&] { return Count(next.server, platform::kSocketRead) == 1; }));
        Settle();
        if (next.server != ended) {
            EXPECT_EQ(Count(ended, platform::kSocketRead), 0);
        }
        for (const Event& event : gEvents) EXPECT_EQ(event.socket, next.server);
        EXPECT_EQ(Count(next.server, platform::kSocketRead), 1);
        EXPECT_EQ(Count(next.server, platform::kSocketClose), 0);
    }
}

TEST_F(ConnectionEvents, AmongManyIdleConnectionsOnlyTheOneSpokenToIsReported) {
    constexpr int kIdle = 300;
    for (int i = 0; i < kIdle; ++i) {
        Open(platform::kSocketRead | platform::kSocketClose);
        ASSERT_FALSE(HasFailure());
    }
    Settle();
    EXPECT_TRUE(gEvents.empty());
    for (int i : {0, kIdle / 2, kIdle - 1}) {
        const Connection& c = connections_[i];
        loopback::SendAll(c.client, "GET / HTTP/1.0\r\n\r\n");
        ASSERT_TRUE(PumpUntil([&] { return Count(c.server, platform::kSocketRead) == 1; }));
    }
    Settle();
    EXPECT_EQ(gEvents.size(), 3u);
}

TEST_F(ConnectionEvents, FileIsSentWithoutWaitingPieceByPiece) {
    const std::string name = platform::ExecutableDirectory() + "connection_events_file.bin";
    std::string contents(3 << 20, '\0');
    for (size_t i = 0; i < contents.size(); ++i) contents[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    platform::File file = platform::CreateSharedFile(name);
    ASSERT_NE(file, 0u);
    platform::WriteToFile(file, contents.data(), contents.size());

    const Connection& c = Open();
    std::string received;
    std::thread reader([&] {
        std::vector<char> buffer(65536);
        for (;;) {
            long got = loopback::Receive(c.client, buffer.data(), buffer.size());
            if (got <= 0) break;
            received.append(buffer.data(), static_cast<size_t>(got));
        }
    });
    // From byte 100 on, to the end, at the pace the client takes it.
    const uint64_t start = 100;
    uint64_t offset = start;
    bool failed = false;
    while (offset < contents.size() && !failed) {
        const int writes = Count(c.server, platform::kSocketWrite);
        long sent = platform::SendFileNow(c.server, file, offset, contents.size());
        if (sent == platform::kWouldBlock) {
            failed = !PumpUntil([&] { return Count(c.server, platform::kSocketWrite) > writes; });
        } else if (sent <= 0) {
            failed = true;
        } else {
            offset += static_cast<uint64_t>(sent);
        }
    }
    EXPECT_FALSE(failed) << "stopped at " << offset;
    // At the end of the file there is nothing more to send.
    EXPECT_EQ(platform::SendFileNow(c.server, file, contents.size(), 1000), 0);
    platform::CloseSocket(connections_[0].server);
    connections_[0].server = platform::kNoSocket;
    reader.join();
    platform::CloseFile(file);
    platform::RemoveFile(name);
    EXPECT_EQ(received.size(), contents.size() - start);
    EXPECT_TRUE(received == contents.substr(start)) << "the bytes differ";
}

}  // namespace
