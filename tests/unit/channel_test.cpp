// The channel layer on loopback. The peer is the platform's URL fetch, which
// connects, sends one request in one piece and waits for the answer.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "net/channel.h"
#include "platform/platform.h"
#include "recording_server.h"
#include "test_ports.h"

namespace {

using namespace qv::net;
namespace platform = qv::platform;
using qvtest::loopback::Readable;

const int kPort = qvtest::TestPort(180);
constexpr uint32_t kShortTimeoutMs = 1500;

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        listening_ = NextChannelNumber();
        ASSERT_EQ(OpenServerChannel(listening_, kPort, kShortTimeoutMs), kOk);
        uint32_t address = 0;
        ASSERT_TRUE(platform::FirstLocalHostAddress(address));
        address_ = platform::AddressText(address);
    }
    void TearDown() override {
        if (peer_.joinable()) peer_.join();
        CloseChannel(connection_, ChannelKind::None);
        CloseChannel(listening_, ChannelKind::None);
    }

    // Starts a peer asking for `path` and accepts its connection into a new channel.
    void Connect(const std::string& path) {
        peer_ = std::thread([this, path] {
            platform::FetchUrl("http://" + address_ + ":" + std::to_string(kPort) + "/" + path, "probe",
                               peerBody_);
        });
        int error = kOk;
        platform::Socket socket = ChannelSocket(listening_, error);
        ASSERT_EQ(error, kOk);
        ASSERT_TRUE(Readable(socket, 10000));
        connection_ = NextChannelNumber();
        ASSERT_EQ(AcceptChannel(listening_, connection_), kOk);
    }

    // Waits up to ten seconds for the connection to have something to read.
    bool ConnectionReadable() {
        int error = kOk;
        platform::Socket socket = ChannelSocket(connection_, error);
        return error == kOk && Readable(socket, 10000);
    }

    // Reads the peer's whole request (it ends with the header's empty line).
    std::string ReceiveRequest() {
        std::string request;
        while (request.size() < 4 || request.compare(request.size() - 4, 4, "\r\n\r\n") != 0) {
            if (!ConnectionReadable()) break;
            char buffer[1024];
            long got = ReceiveChannelNow(connection_, buffer, sizeof buffer);
            if (got == platform::kWouldBlock) continue;
            if (got <= 0) break;
            request.append(buffer, static_cast<size_t>(got));
        }
        return request;
    }

    // Offers `answer` once: the count the socket took (a short answer goes whole).
    long SendAnswer(const std::string& answer) {
        return SendChannelNow(connection_, answer.data(), answer.size());
    }

    int listening_ = 0;
    int connection_ = 0;
    std::string address_;
    std::string peerBody_;
    std::thread peer_;
};

TEST_F(ChannelTest, AcceptedChannelTakesTheRequestAndGivesTheAnswer) {
    ASSERT_NO_FATAL_FAILURE(Connect("short.htm"));
    std::string got = ReceiveRequest();
    EXPECT_EQ(got.compare(0, 15, "GET /short.htm "), 0) << got;
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got.substr(got.size() - 4), "\r\n\r\n");
    // Nothing more comes while the peer waits for its answer: the receive does not wait for it.
    char buffer[16];
    EXPECT_EQ(ReceiveChannelNow(connection_, buffer, sizeof buffer), platform::kWouldBlock);
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";
    EXPECT_EQ(SendAnswer(answer), static_cast<long>(answer.size()));
    CloseChannel(connection_, ChannelKind::Tcp);
    peer_.join();
    EXPECT_EQ(peerBody_, "ok");
}

TEST_F(ChannelTest, PeerThatClosedGivesZero) {
    ASSERT_NO_FATAL_FAILURE(Connect("closing.htm"));
    ASSERT_FALSE(ReceiveRequest().empty());
    const std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nbye";
    ASSERT_EQ(SendAnswer(answer), static_cast<long>(answer.size()));
    peer_.join();  // the peer has read its answer and closed
    ASSERT_TRUE(ConnectionReadable());
    char buffer[16];
    EXPECT_EQ(ReceiveChannelNow(connection_, buffer, sizeof buffer), 0);
    EXPECT_EQ(peerBody_, "bye");
}

TEST_F(ChannelTest, PeerAddressIsTheClientsAddressAndPort) {
    ASSERT_NO_FATAL_FAILURE(Connect("peer.htm"));
    ReceiveRequest();
    std::string peer = ChannelPeerAddress(connection_);
    ASSERT_EQ(peer.compare(0, address_.size() + 1, address_ + ":"), 0) << peer;
    std::string port = peer.substr(address_.size() + 1);
    ASSERT_FALSE(port.empty());
    EXPECT_EQ(port.find_first_not_of("0123456789"), std::string::npos) << peer;
    EXPECT_NE(port[0], '0');
    EXPECT_NE(std::stoi(port), kPort);
    SendAnswer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(ChannelPeerAddress(32000), ":0");
}

TEST_F(ChannelTest, ErrorCodes) {
    const int free = NextChannelNumber();
    int error = kOk;
    struct Case {
        const char* what;
        int got;
        int expected;
    } cases[] = {
        {"open on an open number", OpenServerChannel(listening_, kPort + 1, 1000), kErrChannelInUse},
        {"open on a negative number", OpenServerChannel(-1, kPort + 1, 1000), kErrBadChannel},
        {"accept into an open number", AcceptChannel(listening_, listening_), kErrChannelInUse},
        {"accept from a closed number", AcceptChannel(free, free + 1), kErrBadChannel},
        {"accept with nothing pending", AcceptChannel(listening_, free), kErrNetwork},
        {"notify a closed number", NotifyChannel(free, 0, kAcceptMessage, kEventAccept), kErrBadChannel},
        {"close a closed number", CloseChannel(free, ChannelKind::Tcp), kOk},
        {"close with the wrong kind", CloseChannel(listening_, ChannelKind::File), kErrWrongKind},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    // The refused open and close left the listening channel as it was.
    EXPECT_NE(ChannelSocket(listening_, error), 0);
    EXPECT_EQ(error, kOk);
    ChannelSocket(free, error);
    EXPECT_EQ(error, kErrBadChannel);
    // The transfers on a closed number fail.
    char buffer[10];
    EXPECT_EQ(ReceiveChannelNow(free, buffer, sizeof buffer), -1);
    EXPECT_EQ(SendChannelNow(free, "x", 1), -1);
    EXPECT_EQ(SendChannelFileNow(free, 0, 0, 1), -1);
    EXPECT_EQ(ChannelUnsentBytes(free), -1);
}

TEST_F(ChannelTest, CounterWrapsAndSkipsOpenNumbers) {
    int previous = NextChannelNumber();
    bool wrapped = false;
    std::set<int> seen;
    for (int i = 0; i < 40000 && !wrapped; ++i) {
        int number = NextChannelNumber();
        ASSERT_GE(number, 1);
        ASSERT_LE(number, 32767);
        ASSERT_NE(number, listening_);
        if (number < previous) {
            EXPECT_EQ(previous, listening_ == 32767 ? 32766 : 32767);
            EXPECT_EQ(number, listening_ == 1 ? 2 : 1);
            wrapped = true;
        } else {
            EXPECT_EQ(number, previous + 1 + (previous + 1 == listening_ ? 1 : 0));
        }
        previous = number;
    }
    EXPECT_TRUE(wrapped);
}

TEST(ChannelTimeout, CountsTenTwentyFourMillisecondsAsOneSecond) {
    EXPECT_EQ(TimeoutMicroseconds(60000), 58u * 1000000u + 622592u);
    EXPECT_EQ(TimeoutMicroseconds(1024), 1000000u);
    EXPECT_EQ(TimeoutMicroseconds(1023), 1023u * 1024u);
}

TEST(HostNames, AddressZeroIsThisComputer) { EXPECT_EQ(HostNameOf(0), LocalHostName()); }

}  // namespace
