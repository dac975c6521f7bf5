// Requests handed to the host: by callback and by window message, under the
// host mutex, with what the host sees and what it posts.
#include <atomic>
#include <thread>
#include <vector>

#include "server_fixture.h"

namespace {

using qvtest::api;
using qvtest::Head;

// How the host answers, and what it saw.
struct HostScript {
    enum Post { None, Text, Counted, ByteString } post = None;
    std::string answer;
    int32_t result = 0;
    int32_t slot = -1;
    std::string request;      // as WEBSRVGETREQUEST gives it
    std::string peer;         // as the callback gets it
    std::string field;        // the callback's request argument
    int32_t fieldLength = 0;
    uintptr_t mutex = 0;
    bool mutexHeldByServer = false;
};
HostScript script;

HostScript Scripted(HostScript::Post post, const std::string& answer, int32_t result) {
    HostScript s;
    s.post = post;
    s.answer = answer;
    s.result = result;
    return s;
}

void ActAsHost(int32_t slot) {
    const qvtest::Api& a = api();
    script.slot = slot;
    script.request = qvtest::TakeString(a.WEBSRVGETREQUEST(slot));
    if (script.mutex != 0) {
        // Another thread cannot take the mutex while the host has the request.
        bool taken = false;
        std::thread other([&] {
            taken = qvtest::WaitHostMutex(script.mutex, 50);
            if (taken) qvtest::ReleaseHostMutex(script.mutex);
        });
        other.join();
        script.mutexHeldByServer = !taken;
    }
    switch (script.post) {
    case HostScript::Text:
        a.PostResponse(slot, script.answer.c_str());
        break;
    case HostScript::Counted:
        a.PostResponseC(slot, script.answer.data(), static_cast<int32_t>(script.answer.size()));
        break;
    case HostScript::ByteString: {
        QvBSTR text = qvtest::MakeString(script.answer);
        a.PostResponseA(slot, &text);
        qvtest::TakeString(text);
        break;
    }
    case HostScript::None:
        break;
    }
}

int32_t QV_CALL Callback(int32_t slot, const char* peer, int32_t peerLength, const char* request, int32_t length) {
    script.peer.assign(peer, static_cast<size_t>(peerLength));
    script.field.assign(request, static_cast<size_t>(length));
    script.fieldLength = length;
    ActAsHost(slot);
    return script.result;
}

intptr_t WindowProc(uintptr_t, uint32_t message, uintptr_t wParam, intptr_t) {
    if (message != QV_REQUEST_MESSAGE) return 0;
    ActAsHost(static_cast<int32_t>(wParam));
    return script.result;
}

uintptr_t SharedMutex() {
    // One mutex for the whole run: once set, the server keeps a host mutex.
    static uintptr_t mutex = qvtest::CreateHostMutex();
    return mutex;
}

const std::string kFileBody = "from the file";

class HostHandOff : public qvtest::ServerFixture {
protected:
    void SetUp() override {
        ServerFixture::SetUp();
        script = HostScript{};
        WriteFile(root_ / "docs" / "page.htm", kFileBody);
    }
};

struct AnswerCase {
    const char* name;
    HostScript::Post post;
    std::string answer;
    int32_t result;
    std::string expected;  // the whole answer the client gets
};

const std::string kFileAnswer = Head("HTTP/1.0 200 OK", "text/html", kFileBody.size()) + kFileBody + "\r\n\r\n";
const std::string kHeaderOnly = Head("HTTP/1.0 200 OK", "text/html", 0) + "\r\n";
std::string Posted(const std::string& body) { return Head("HTTP/1.1 200 OK", "text/html", body.size()) + body + "\r\n"; }
const std::string kPlaceholder = "REPLACING NULL WITH THIS STRING";

const AnswerCase kAnswerCases[] = {
    {"PostedAndZero", HostScript::Text, "<b>hi</b>", 0, Posted("<b>hi</b>")},
    {"PostedAndNonZero", HostScript::Text, "yes", 1, Posted("yes")},
    {"CountedKeepsNulBytes", HostScript::Counted, std::string("A\0B\0C", 5), 1, Posted(std::string("A\0B\0C", 5))},
    {"ByteStringEncodesNulBytes", HostScript::ByteString, std::string("A\0B", 3), 0, Posted("A" + kPlaceholder + "B")},
    {"NothingAndNonZero", HostScript::None, "", 7, kHeaderOnly},
    {"NothingAndZero", HostScript::None, "", 0, kFileAnswer},
    {"EmptyTextIsNothing", HostScript::Text, "", 0, kFileAnswer},
};

// Each answer, and for HEAD the same answer's header alone: a HEAD request
// reaches the host with its real path, and what the host posted is not sent.
TEST_F(HostHandOff, CallbackAnswers) {
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (const AnswerCase& c : kAnswerCases) {
        script.post = c.post;
        script.answer = c.answer;
        script.result = c.result;
        EXPECT_EQ(Get("/page.htm"), c.expected) << c.name;
        const std::string head = Ask("HEAD /page.htm HTTP/1.0\r\n\r\n");
        EXPECT_EQ(script.request, "page.htm") << c.name;
        EXPECT_EQ(script.field.substr(0, 9), "page.htm ") << c.name;
        const size_t end = c.expected.find("\r\n\r\n");
        EXPECT_EQ(head, end == std::string::npos ? c.expected : c.expected.substr(0, end + 4)) << c.name;
    }
}

// Window handles are pointers on Windows and numbers natively: plain casts serve both.
TEST_F(HostHandOff, WindowAnswersFromTheSameThread) {
    uintptr_t window = qvtest::CreateHostWindow(&WindowProc);
    ASSERT_NE(window, 0u);
    ASSERT_EQ(api().WEBSRVSETWINDOW((QvWindow)(window)), 0);
    // The window wins over a callback.
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (const AnswerCase& c : kAnswerCases) {
        script = Scripted(c.post, c.answer, c.result);
        script.peer = "untouched";
        EXPECT_EQ(Get("/page.htm"), c.expected) << c.name;
        EXPECT_EQ(script.peer, "untouched") << c.name;
    }
    api().WEBSRVCLEARWINDOW();
    qvtest::DestroyHostWindow(window);
}

TEST_F(HostHandOff, WindowOfAnotherThreadAnswers) {
    std::atomic<uintptr_t> window{0};
    std::atomic<bool> done{false};
    std::thread owner([&] {
        window = qvtest::CreateHostWindow(&WindowProc);
        while (!done) qvtest::PumpFor(10);
        qvtest::DestroyHostWindow(window);
    });
    while (window == 0) std::this_thread::yield();
    ASSERT_EQ(api().WEBSRVSETWINDOW((QvWindow)(window.load())), 0);
    script.post = HostScript::Text;
    script.answer = "other thread";
    EXPECT_EQ(Get("/page.htm"), Posted("other thread"));
    script = HostScript{};
    script.result = 1;
    EXPECT_EQ(Get("/page.htm"), kHeaderOnly);
    api().WEBSRVCLEARWINDOW();
    done = true;
    owner.join();
}

TEST_F(HostHandOff, HostSeesTheMappedPathAndThePeer) {
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    struct Case {
        const char* target;
        const char* request;
    } cases[] = {{"/", "default.htm"}, {"/cmd/run?x=1", "cmd\\run?x=1.htm"}, {"/status.txt", "status.txt"}};
    for (const Case& c : cases) {
        uint16_t clientPort = 0;
        Ask(std::string("GET ") + c.target + " HTTP/1.0\r\n\r\n", 1, 0, &clientPort);
        EXPECT_EQ(script.request, c.request);
        EXPECT_EQ(script.fieldLength, 1024);
        std::string padded = std::string(c.request) + std::string(1024 - std::string(c.request).size(), ' ');
        EXPECT_EQ(script.field, padded);
        EXPECT_EQ(script.peer, qvtest::ServerAddress() + ":" + std::to_string(clientPort));
        EXPECT_GE(script.slot, 0);
        EXPECT_LE(script.slot, 500);
        // After the close step the slot holds nothing for the host.
        EXPECT_EQ(qvtest::TakeString(api().WEBSRVGETREQUEST(script.slot)), "");
    }
}

TEST_F(HostHandOff, MutexIsHeldDuringEveryHandOffAndFreeAfter) {
    uintptr_t mutex = SharedMutex();
    ASSERT_NE(mutex, 0u);
    QvMutex handle = (QvMutex)mutex;
    api().WEBSRVSETMUTEX(&handle);
    QvMutex zero = 0;
    api().WEBSRVSETMUTEX(&zero);  // changes nothing
    api().WEBSRVSETMUTEX(nullptr);
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (const AnswerCase& c : kAnswerCases) {
        script = Scripted(c.post, c.answer, c.result);
        script.mutex = mutex;
        EXPECT_EQ(Get("/page.htm"), c.expected) << c.name;
        EXPECT_TRUE(script.mutexHeldByServer) << c.name;
        bool freeAgain = false;
        std::thread other([&] {
            freeAgain = qvtest::WaitHostMutex(mutex, 2000);
            if (freeAgain) qvtest::ReleaseHostMutex(mutex);
        });
        other.join();
        EXPECT_TRUE(freeAgain) << c.name;
    }
}

TEST_F(HostHandOff, AnswerPostedOutsideARequestIsNeverSent) {
    ASSERT_EQ(api().SetServerCallback(&Callback), 0);
    for (int32_t slot = 0; slot <= 500; ++slot) api().PostResponse(slot, "stale");
    EXPECT_EQ(Get("/page.htm"), kFileAnswer);
}

TEST_F(HostHandOff, SlotIndexesOutsideTheTableTouchNothing) {
    const qvtest::Api& a = api();
    const int32_t slots[] = {-1, 501, 32767, -2147483647 - 1};
    for (int32_t slot : slots) {
        EXPECT_EQ(qvtest::TakeString(a.WEBSRVGETREQUEST(slot)), "") << slot;
        EXPECT_EQ(a.PostResponse(slot, "x"), 0) << slot;
        EXPECT_EQ(a.PostResponseC(slot, "xy", 2), 0) << slot;
        QvBSTR text = qvtest::MakeString("abc");
        QvBSTR before = text;
        EXPECT_EQ(a.PostResponseA(slot, &text), 0) << slot;
        EXPECT_EQ(text, before) << slot;
        qvtest::TakeString(text);
    }
    EXPECT_EQ(a.PostResponse(3, "abc"), 3);
    EXPECT_EQ(a.PostResponseC(3, "a\0b", 3), 3);
    EXPECT_EQ(a.PostResponseC(3, "abc", -1), 0);
}

// Every slot but the one handed off carries no request: never used since the
// start, or used by a request that has been closed.
std::vector<int32_t> slotsWithText;

int32_t QV_CALL ReadEverySlot(int32_t slot, const char*, int32_t, const char*, int32_t) {
    for (int32_t other = 0; other <= 500; ++other) {
        if (other != slot && !qvtest::TakeString(api().WEBSRVGETREQUEST(other)).empty()) slotsWithText.push_back(other);
    }
    return 0;
}

TEST_F(HostHandOff, SlotsWithoutARequestGiveEmptyText) {
    for (int32_t slot = 0; slot <= 500; ++slot) EXPECT_EQ(qvtest::TakeString(api().WEBSRVGETREQUEST(slot)), "") << slot;
    ASSERT_EQ(api().SetServerCallback(&ReadEverySlot), 0);
    slotsWithText.clear();
    for (int round = 0; round < 3; ++round) EXPECT_EQ(Get("/page.htm"), kFileAnswer);
    EXPECT_TRUE(slotsWithText.empty()) << slotsWithText.front();
}

// A byte string whose encoded form would pass 2^31 - 1 bytes: its length
// could not be reported, so nothing is posted and the variable stays.
struct TooLongPost {
    int32_t result = -1;
    bool variableKept = false;
} tooLong;

int32_t QV_CALL PostTooLong(int32_t slot, const char*, int32_t, const char*, int32_t) {
    const std::string nulBytes(70 * 1000 * 1000, '\0');  // 31 bytes each once encoded
    QvBSTR text = qvtest::MakeString(nulBytes);
    const QvBSTR before = text;
    tooLong.result = api().PostResponseA(slot, &text);
    const bool samePointer = text == before;
    tooLong.variableKept = qvtest::TakeString(text) == nulBytes && samePointer;
    return 0;
}

TEST_F(HostHandOff, AnswerTooLongToCountIsRefused) {
    ASSERT_EQ(api().SetServerCallback(&PostTooLong), 0);
    tooLong = TooLongPost{};
    EXPECT_EQ(Get("/page.htm"), kFileAnswer);
    EXPECT_EQ(tooLong.result, 0);
    EXPECT_TRUE(tooLong.variableKept);
}

TEST_F(HostHandOff, SettingsRefuseWhatTheyCannotUse) {
    const qvtest::Api& a = api();
    EXPECT_EQ(a.SetServerCallback(nullptr), -2);
    EXPECT_EQ(a.WEBSRVSETWINDOW((QvWindow)(0)), -1);
    uintptr_t window = qvtest::CreateHostWindow(&WindowProc);
    qvtest::DestroyHostWindow(window);
    EXPECT_EQ(a.WEBSRVSETWINDOW((QvWindow)(window)), -1);
    // Nothing was stored: the file is served.
    EXPECT_EQ(Get("/page.htm"), kFileAnswer);
}

}  // namespace
