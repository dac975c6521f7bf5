// Hosts that post too much, post twice or post and decline, and slot numbers
// no request ever has: the answer is exactly what was posted last, and a bad
// slot number reads and writes nothing.
#include <climits>
#include <string>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::api;
using qvtest::Head;

const std::string kFileBody = "the file";

// The posts the host makes during one request, in order, and what it returns.
struct Post {
    enum Export { Text, Counted, ByteString } via;
    int32_t slotOffset;  // added to the request's slot: 0 for the request's own
    std::string answer;
};
struct HostPlan {
    std::vector<Post> posts;
    int32_t result = 0;
    std::vector<int32_t> postedLengths;
};
HostPlan plan;

int32_t PostOne(int32_t slot, const Post& post) {
    const qvtest::Api& a = api();
    switch (post.via) {
    case Post::Text:
        return a.PostResponse(slot, post.answer.c_str());
    case Post::Counted:
        return a.PostResponseC(slot, post.answer.data(), static_cast<int32_t>(post.answer.size()));
    case Post::ByteString: {
        QvBSTR text = qvtest::MakeString(post.answer);
        int32_t length = a.PostResponseA(slot, &text);
        qvtest::TakeString(text);
        return length;
    }
    }
    return -1;
}

void Act(int32_t slot) {
    for (const Post& post : plan.posts) {
        int32_t target = post.slotOffset == 0 ? slot : post.slotOffset;
        plan.postedLengths.push_back(PostOne(target, post));
    }
}

int32_t QV_CALL Callback(int32_t slot, const char*, int32_t, const char*, int32_t) {
    Act(slot);
    return plan.result;
}

intptr_t WindowProc(uintptr_t, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message != QV_REQUEST_MESSAGE) return 0;
    Act(static_cast<int32_t>(wParam));
    return plan.result;
}

std::string Posted(const std::string& body) { return Head("HTTP/1.1 200 OK", "text/html", body.size()) + body + "\r\n"; }

class BadHosts : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        plan = HostPlan{};
        WriteFile(root_ / "docs" / "page.htm", kFileBody);
    }
};

const int32_t kBadSlots[] = {-1, 501, INT_MAX};

struct PlanCase {
    const char* name;
    std::vector<Post> posts;
    int32_t result;
    std::string expected;
};

std::vector<PlanCase> PlanCases() {
    const std::string megabyte = [] {
        std::string text(1024 * 1024, 'm');
        for (size_t i = 0; i < text.size(); i += 4096) text[i] = static_cast<char>('A' + (i / 4096) % 26);
        return text;
    }();
    const std::string fileAnswer = Head("HTTP/1.0 200 OK", "text/html", kFileBody.size()) + kFileBody + "\r\n\r\n";
    return {
        {"MegabyteText", {{Post::Text, 0, megabyte}}, 1, Posted(megabyte)},
        {"MegabyteCounted", {{Post::Counted, 0, megabyte}}, 1, Posted(megabyte)},
        {"MegabyteByteStringAndZero", {{Post::ByteString, 0, megabyte}}, 0, Posted(megabyte)},
        {"TwiceLongThenShort", {{Post::Text, 0, std::string(5000, 'L')}, {Post::Counted, 0, "short"}}, 1,
         Posted("short")},
        {"TwiceShortThenLong", {{Post::Counted, 0, "short"}, {Post::ByteString, 0, std::string(3000, 'S')}}, 1,
         Posted(std::string(3000, 'S'))},
        {"TwiceThenEmpty", {{Post::Text, 0, "gone"}, {Post::Counted, 0, ""}}, 0, fileAnswer},
        {"PostedAndZero", {{Post::Text, 0, "posted, then declined"}}, 0, Posted("posted, then declined")},
        {"BadSlotsOnly", {{Post::Text, -1, "x"}, {Post::Counted, 501, "y"}, {Post::ByteString, INT_MAX, "z"}}, 0,
         fileAnswer},
        {"BadSlotsAroundOwn", {{Post::Text, -1, "x"}, {Post::Text, 0, "own"}, {Post::Counted, INT_MAX, "z"}}, 0,
         Posted("own")},
    };
}

TEST_F(BadHosts, CallbackAnswerIsTheLastPost) {
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (const PlanCase& c : PlanCases()) {
        plan = HostPlan{};
        plan.posts = c.posts;
        plan.result = c.result;
        EXPECT_EQ(Get("/page.htm"), c.expected) << c.name;
        ASSERT_EQ(plan.postedLengths.size(), c.posts.size()) << c.name;
        for (size_t i = 0; i < c.posts.size(); ++i) {
            const bool badSlot = c.posts[i].slotOffset != 0;
            const int32_t length = badSlot ? 0 : static_cast<int32_t>(c.posts[i].answer.size());
            EXPECT_EQ(plan.postedLengths[i], length) << c.name << ", post " << i;
        }
    }
}

// A window that posts is answered the same way.
TEST_F(BadHosts, WindowAnswerIsTheLastPost) {
    uintptr_t window = qvtest::CreateHostWindow(&WindowProc);
    ASSERT_NE(window, 0u);
    ASSERT_EQ(api().WEBSRVSETWINDOW((QvWindow)(window)), 0);
    for (const PlanCase& c : PlanCases()) {
        plan = HostPlan{};
        plan.posts = c.posts;
        plan.result = c.result;
        EXPECT_EQ(Get("/page.htm"), c.expected) << c.name;
    }
    api().WEBSRVCLEARWINDOW();
    qvtest::DestroyHostWindow(window);
}

// Every export that takes a slot, with numbers outside the table, while the
// server runs and while it is stopped: nothing is read or stored.
TEST_F(BadHosts, SlotExportsOutsideTheTable) {
    const qvtest::Api& a = api();
    for (int running = 1; running >= 0; --running) {
        if (!running) a.ServerStop();
        for (int32_t slot : kBadSlots) {
            SCOPED_TRACE(std::to_string(slot) + (running ? ", running" : ", stopped"));
            EXPECT_EQ(qvtest::TakeString(a.WEBSRVGETREQUEST(slot)), "");
            EXPECT_EQ(a.PostResponse(slot, "x"), 0);
            EXPECT_EQ(a.PostResponse(slot, nullptr), 0);
            EXPECT_EQ(a.PostResponseC(slot, "xy", 2), 0);
            EXPECT_EQ(a.PostResponseC(slot, nullptr, 5), 0);
            EXPECT_EQ(a.PostResponseC(slot, "xy", INT_MIN), 0);
            QvBSTR text = qvtest::MakeString(std::string("a\0b", 3));
            QvBSTR before = text;
            EXPECT_EQ(a.PostResponseA(slot, &text), 0);
            EXPECT_EQ(text, before);
            qvtest::TakeString(text);
            EXPECT_EQ(a.PostResponseA(slot, nullptr), 0);
        }
    }
    // Started again, the server answers with the file: nothing posted above reached a request.
    ASSERT_EQ(a.ServerStart(port_), 0);
    ASSERT_EQ(a.SetServerCallback(&Callback), 0);
    EXPECT_EQ(Get("/page.htm"), Head("HTTP/1.0 200 OK", "text/html", kFileBody.size()) + kFileBody + "\r\n\r\n");
}

}  // namespace
