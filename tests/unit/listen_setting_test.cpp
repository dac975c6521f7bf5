// Addresses as text, the `listen` setting read from its value, and the
// listeners a start opens from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ip_address_text.h"
#include "server/listen_setting.h"
#include "server/listeners.h"
#include "server/settings_store.h"

namespace {

using qv::platform::IpAddress;

IpAddress Parsed(const std::string& text) {
    IpAddress address;
    EXPECT_TRUE(qv::net::ParseIpAddress(text, address)) << text;
    return address;
}

std::vector<std::string> Texts(const std::vector<IpAddress>& addresses) {
    std::vector<std::string> texts;
    for (const IpAddress& address : addresses) texts.push_back(qv::net::IpAddressText(address));
    return texts;
}

TEST(IpAddressText, ReadAndWrittenInTheShortestForm) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        {"127.0.0.1", "127.0.0.1"},
        {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
        {"::", "::"},
        {"::1", "::1"},
        {"0:0:0:0:0:0:0:1", "::1"},
        {"FE80::0001", "fe80::1"},
        {"2001:db8:0:0:1:0:0:1", "2001:db8::1:0:0:1"},  // the first of two equal runs
        {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1"},  // one zero group stays
        {"1::", "1::"},
        {"::ffff:192.0.2.1", "::ffff:192.0.2.1"},
        {"64:ff9b::192.0.2.33", "64:ff9b::c000:221"},
        {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8"},
    };
    for (const Case& c : cases) EXPECT_EQ(qv::net::IpAddressText(Parsed(c.text)), c.written) << c.text;
}

TEST(IpAddressText, AnythingElseIsRefused) {
    for (const char* text :
         {"", "localhost", "1.2.3", "1.2.3.4.5", "256.0.0.1", "01.2.3.4", "1.2.3.-4", "1.2.3.4 ", " ::1", "[::1]",
          "127.0.0.1:80", "1:2:3:4:5:6:7", "1:2:3:4:5:6:7:8:9", "1::2::3", ":::", "1:::2", ":1::2", "1::2:",
          "12345::", "g::1", "::1%eth0", "1:2:3:4:5:6:7::8", "::1.2.3.4:5", "1.2.3.4::", "::256.1.1.1",
          "1:2:3:4:5:6:7:1.2.3.4"}) {
        IpAddress address;
        EXPECT_FALSE(qv::net::ParseIpAddress(text, address)) << text;
    }
}

TEST(ListenSetting, ValuesAndTheAddressesTheyGive) {
    struct Case {
        const char* value;
        std::vector<std::string> addresses;
    } cases[] = {
        {"", {}},
        {"  ", {}},
        {"127.0.0.1", {"127.0.0.1"}},
        {"0.0.0.0,::", {"0.0.0.0", "::"}},
        {" 192.0.2.7 ,\t[::1] ", {"192.0.2.7", "::1"}},
        {"::1,127.0.0.1,::1", {"::1", "127.0.0.1"}},
    };
    for (const Case& c : cases) {
        std::vector<IpAddress> addresses;
        ASSERT_TRUE(qv::server::ParseListenSetting(c.value, addresses)) << c.value;
        EXPECT_EQ(Texts(addresses), c.addresses) << c.value;
    }
    std::string seventeen = "127.0.0.1";
    for (int i = 2; i <= 17; ++i) seventeen += ",127.0.0." + std::to_string(i);
    for (const std::string& value :
         {std::string("localhost"), std::string("127.0.0.1:8080"), std::string("[::1]:8080"), std::string("[::1"),
          std::string("[127.0.0.1]"), std::string("[]"), std::string(","), std::string("127.0.0.1,"),
          std::string("127.0.0.1,,::1"), std::string("http://127.0.0.1/"), seventeen}) {
        std::vector<IpAddress> addresses = {Parsed("10.0.0.1")};
        EXPECT_FALSE(qv::server::ParseListenSetting(value, addresses)) << value;
        EXPECT_EQ(Texts(addresses), std::vector<std::string>{"10.0.0.1"}) << value;
    }
}

TEST(ListenSetting, ARefusedValueLeavesTheSettingAsItWas) {
    using qv::server::OptionResult;
    ASSERT_EQ(qv::server::SetServerOption("listen", "::1, 127.0.0.1"), OptionResult::Set);
    EXPECT_EQ(qv::server::SetServerOption("listen", "127.0.0.1:80"), OptionResult::Refused);
    EXPECT_EQ(Texts(qv::server::CurrentSettings().listenAddresses), (std::vector<std::string>{"::1", "127.0.0.1"}));
    ASSERT_EQ(qv::server::SetServerOption("listen", ""), OptionResult::Set);
    EXPECT_TRUE(qv::server::CurrentSettings().listenAddresses.empty());
}

TEST(ListenPlan, EachAddressOnceAndTheHostsAddressFirst) {
    struct Case {
        const char* what;
        const char* setting;
        const char* hostAddress;
        std::vector<std::string> listeners;  // the channel's first
        bool allRequired;
    } cases[] = {
        {"default", "", "192.0.2.5", {"192.0.2.5", "127.0.0.1", "::1"}, false},
        {"default where the name is 127.0.0.1", "", "127.0.0.1", {"127.0.0.1", "::1"}, false},
        {"named", "::1,192.0.2.5", "127.0.0.1", {"::1", "192.0.2.5"}, true},
        {"every IPv4 address covers the others", "127.0.0.1,::1,0.0.0.0", "127.0.0.1", {"::1", "0.0.0.0"}, true},
        {"every IPv6 address covers the others", "::1,::,127.0.0.1", "127.0.0.1", {"::", "127.0.0.1"}, true},
    };
    for (const Case& c : cases) {
        std::vector<IpAddress> setting;
        ASSERT_TRUE(qv::server::ParseListenSetting(c.setting, setting)) << c.what;
        const qv::server::ListenPlan plan = qv::server::PlanListening(setting, Parsed(c.hostAddress));
        std::vector<IpAddress> all = {plan.first};
        all.insert(all.end(), plan.further.begin(), plan.further.end());
        EXPECT_EQ(Texts(all), c.listeners) << c.what;
        EXPECT_EQ(plan.allRequired, c.allRequired) << c.what;
    }
}

}  // namespace
