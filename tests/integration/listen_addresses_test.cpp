// Where the server listens: this computer's address as ever and loopback
// beside it (127.0.0.1 and ::1), or the addresses the host names in the
// `listen` setting; what the host and a program learn of an IPv6 client.
#include <string>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::api;

class ListenAddresses : public qvtest::PageServerFixture {
protected:
    ListenAddresses() { startServer_ = false; }

    // The page asked for at `address`; empty when nothing answers there.
    std::string PageAt(const std::string& address, uint16_t* clientPort = nullptr) {
        qvtest::Exchange exchange;
        qvtest::PumpWhile(
            [&] { exchange = qvtest::Talk(address, port_, "GET /page.htm HTTP/1.0\r\n\r\n", 10000); });
        if (clientPort != nullptr) *clientPort = exchange.localPort;
        return exchange.connected ? qvtest::WithoutValidators(exchange.received) : std::string();
    }

    // Each address answered, or refused, as `served` says.
    void ExpectServed(const std::vector<std::string>& addresses, bool served) {
        for (const std::string& address : addresses) {
            if (address.find(':') != std::string::npos && !qvtest::Ipv6LoopbackWorks()) continue;
            EXPECT_EQ(PageAt(address), served ? PageAnswer() : std::string()) << address;
        }
    }
};

TEST_F(ListenAddresses, ByDefaultTheHostAddressAndBothLoopbacksUntilTheStop) {
    ASSERT_EQ(api().ServerStart(port_), 0);
    ExpectServed({qvtest::ServerAddress(), "127.0.0.1", "::1"}, true);
    api().ServerStop();
    ExpectServed({qvtest::ServerAddress(), "127.0.0.1", "::1"}, false);
    // A start after the stop opens them all again.
    ASSERT_EQ(api().ServerStart(port_), 0);
    ExpectServed({"127.0.0.1", "::1"}, true);
}

TEST_F(ListenAddresses, ALoopbackTheServerCannotHaveIsLeftOut) {
    // Another program holds the port on ::1 (or on 127.0.0.1 where that is
    // not this computer's address): the start succeeds without it.
    const bool hostIsLoopback = qvtest::ServerAddress() == "127.0.0.1";
    if (hostIsLoopback && !qvtest::Ipv6LoopbackWorks()) GTEST_SKIP() << "no further address to take here";
    const std::string taken = hostIsLoopback ? "::1" : "127.0.0.1";
    qvtest::HeldListener other(taken, port_);
    ASSERT_TRUE(other.held()) << taken;
    ASSERT_EQ(api().ServerStart(port_), 0);
    EXPECT_EQ(api().ServerRunning(), 1);
    ExpectServed({qvtest::ServerAddress()}, true);
}

TEST_F(ListenAddresses, TheSettingReplacesTheDefault) {
    struct Case {
        const char* setting;
        std::vector<std::string> served;
        std::vector<std::string> refused;
    } cases[] = {
        {"127.0.0.1", {"127.0.0.1"}, {"127.0.0.2", "::1"}},
        {"::1", {"::1"}, {"127.0.0.1"}},
        {" 127.0.0.2 , [::1] ", {"127.0.0.2", "::1"}, {"127.0.0.1"}},
        {"0.0.0.0", {"127.0.0.1", "127.0.0.3"}, {"::1"}},
        {"::", {"::1"}, {"127.0.0.1"}},
        // The other IPv4 address is covered by every one and not bound twice.
        {"127.0.0.1,0.0.0.0", {"127.0.0.1", "127.0.0.4"}, {"::1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        ASSERT_EQ(api().WEBSRVSETOPTION("listen", c.setting), 0);
        if (std::string(c.setting).find("::") != std::string::npos && !qvtest::Ipv6LoopbackWorks()) continue;
        ASSERT_EQ(api().ServerStart(port_), 0);
        ExpectServed(c.served, true);
        ExpectServed(c.refused, false);
        api().ServerStop();
    }
    // The empty value brings the default back.
    ASSERT_EQ(api().WEBSRVSETOPTION("listen", ""), 0);
    ASSERT_EQ(api().ServerStart(port_), 0);
    ExpectServed({"127.0.0.1", "::1"}, true);
}

TEST_F(ListenAddresses, ANamedAddressThatCannotBeOpenedFailsTheStart) {
    // 192.0.2.1 is kept for documentation: no computer has it.
    ASSERT_EQ(api().WEBSRVSETOPTION("listen", "127.0.0.1,192.0.2.1"), 0);
    EXPECT_EQ(api().ServerStart(port_), 4);
    EXPECT_EQ(api().ServerRunning(), 0);
    ExpectServed({"127.0.0.1"}, false);
    // Nothing was left open: with that address gone, the same port starts.
    ASSERT_EQ(api().WEBSRVSETOPTION("listen", "127.0.0.1"), 0);
    ASSERT_EQ(api().ServerStart(port_), 0);
    ExpectServed({"127.0.0.1"}, true);
}

TEST_F(ListenAddresses, RefusedValuesLeaveTheSettingAsItWas) {
    ASSERT_EQ(api().WEBSRVSETOPTION("listen", "127.0.0.1"), 0);
    for (const char* value : {"localhost", "127.0.0.1:8080", "[::1]:8080", "127.0.0.1,,::1", "1.2.3"}) {
        EXPECT_EQ(api().WEBSRVSETOPTION("listen", value), -2) << value;
    }
    EXPECT_EQ(api().WEBSRVSETOPTION("listen", nullptr), -2);
    ASSERT_EQ(api().ServerStart(port_), 0);
    ExpectServed({"127.0.0.1"}, true);
    ExpectServed({"::1", "127.0.0.2"}, false);
}

std::string recordedPeer;
int32_t QV_CALL RecordPeer(int32_t, const char* peer, int32_t peerLength, const char*, int32_t) {
    recordedPeer.assign(peer, static_cast<size_t>(peerLength));
    return 0;
}

TEST_F(ListenAddresses, AnIpv6ClientAsTheHostAndAProgramSeeIt) {
    if (!qvtest::Ipv6LoopbackWorks()) GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_EQ(api().SetServerCallback(&RecordPeer), 0);
    ASSERT_EQ(api().ServerStart(port_), 0);
    struct Case {
        const char* address;
        std::string peerBeforePort;
    } cases[] = {{"::1", "[::1]"}, {"127.0.0.1", "127.0.0.1"}};
    for (const Case& c : cases) {
        uint16_t clientPort = 0;
        recordedPeer.clear();
        EXPECT_EQ(PageAt(c.address, &clientPort), PageAnswer()) << c.address;
        EXPECT_EQ(recordedPeer, c.peerBeforePort + ":" + std::to_string(clientPort));
    }
    const std::string program = InstallProgram("cgi_environ", "env");
    qvtest::Exchange exchange;
    qvtest::PumpWhile(
        [&] { exchange = qvtest::Talk("::1", port_, "GET /" + program + " HTTP/1.0\r\n\r\n", 20000); });
    EXPECT_NE(exchange.received.find("\r\nX-Env: REMOTE_ADDR=::1\r\n"), std::string::npos)
        << exchange.received.substr(0, 400);
}

}  // namespace
