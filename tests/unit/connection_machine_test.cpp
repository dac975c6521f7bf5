// The connection machine against a scripted socket: requests decided from
// pieces whatever their split, answers written exactly as composed however
// little the socket takes at a time, and the close in every way a connection
// can end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "server/connection_machine.h"

namespace {

namespace platform = qv::platform;
using qv::server::Answer;
using qv::server::ConnectionLink;
using qv::server::ConnectionMachine;
using Next = ConnectionMachine::Next;
using Phase = ConnectionMachine::Phase;

constexpr uint64_t kTimeoutMs = 58622;

// A socket whose arrivals and room are set by the test.
class ScriptedLink : public ConnectionLink {
public:
    long ReceiveNow(char* buffer, size_t size) override {
        ++receives;
        if (failReceive) return -1;
        if (incoming.empty()) return peerFinished ? 0 : platform::kWouldBlock;
        const size_t count = std::min(size, incoming.size());
        std::memcpy(buffer, incoming.data(), count);
        incoming.erase(0, count);
        return static_cast<long>(count);
    }
    long SendNow(const char* data, size_t size) override {
        ++sends;
        if (failSend) return -1;
        const size_t count = std::min(size, room);
        if (count == 0) return platform::kWouldBlock;
        wire.append(data, count);
        room -= count;
        return static_cast<long>(count);
    }
    long SendFileNow(platform::File file, uint64_t offset, size_t count) override {
        ++sends;
        if (failSend) return -1;
        count = std::min(count, room);
        if (count == 0) return platform::kWouldBlock;
        std::string piece(count, '\0');
        long got = platform::ReadFileAt(file, offset, &piece[0], count);
        if (got <= 0) return got;
        wire.append(piece, 0, static_cast<size_t>(got));
        room -= static_cast<size_t>(got);
        return got;
    }
    void AskForWriteEvents() override { ++writeRequests; }
    void FinishSending() override { ++finishes; }

    std::string incoming;
    bool peerFinished = false;
    bool failReceive = false;
    bool failSend = false;
    size_t room = SIZE_MAX;  // bytes the socket takes before a send would block
    std::string wire;
    int receives = 0, sends = 0, writeRequests = 0, finishes = 0;
};

class ConnectionMachineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = platform::ExecutableDirectory() + "connection_machine_scratch";
        std::filesystem::remove_all(dir_);
        ASSERT_TRUE(std::filesystem::create_directory(dir_));
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // An open file holding `bytes`, for an answer to own.
    platform::File FileOf(const std::string& bytes) {
        platform::File file = platform::CreateSharedFile(dir_ + "/body" + std::to_string(files_++) + ".bin");
        EXPECT_NE(file, 0u);
        if (!bytes.empty()) platform::WriteToFile(file, bytes.data(), bytes.size());
        return file;
    }

    // A machine whose request has been decided.
    void Decide(ConnectionMachine& machine, ScriptedLink& link) {
        link.incoming = "GET /page.htm HTTP/1.0\r\n\r\n";
        ASSERT_EQ(machine.OnReadable(0), Next::Decided);
    }

    static std::string Pattern(size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
        return bytes;
    }

    std::string dir_;
    int files_ = 0;
};

TEST_F(ConnectionMachineTest, RequestIsDecidedOnlyOnceItsHeaderIsInWhateverTheSplit) {
    const std::string request = "GET /images/logo.gif HTTP/1.1\r\nHost: example\r\nCookie: a=1\r\n\r\n";
    const std::vector<std::vector<size_t>> splits = {
        {request.size()},           // all at once
        {10, 30, request.size()},   // three pieces (each number: where a piece ends)
        {request.size() - 2, request.size()},  // the empty line apart
    };
    for (const auto& split : splits) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        size_t at = 0;
        for (size_t i = 0; i < split.size(); ++i) {
            const size_t end = std::min(split[i], request.size());
            link.incoming += request.substr(at, end - at);
            at = end;
            const Next next = machine.OnReadable(100 * i);
            EXPECT_EQ(next, at == request.size() ? Next::Decided : Next::Wait) << "piece " << i;
        }
        EXPECT_EQ(machine.phase(), Phase::Handle);
        EXPECT_EQ(machine.request().method, "GET");
        EXPECT_EQ(machine.request().host, " example");
        EXPECT_TRUE(link.wire.empty());
    }
}

TEST_F(ConnectionMachineTest, ConnectionsThatEndWithoutARequestAreClosedUnanswered) {
    struct Case {
        const char* name;
        std::string incoming;
        bool peerFinished;
        bool failReceive;
    };
    const Case cases[] = {
        {"closed at once", "", true, false},
        {"closed inside the header", "GET /a.htm HTTP/1.0\r\nHost: x\r\n", true, false},
        {"reset", "GET /a.htm", false, true},
    };
    for (const Case& c : cases) {
        ScriptedLink link;
        link.incoming = c.incoming;
        link.peerFinished = c.peerFinished;
        link.failReceive = c.failReceive;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        EXPECT_EQ(machine.OnReadable(0), Next::Close) << c.name;
        EXPECT_EQ(machine.phase(), Phase::Done) << c.name;
        EXPECT_TRUE(link.wire.empty()) << c.name;
    }
}

// A POST to a program waits for its body line; when the client pauses without
// ending the line, the request is taken as it stands. Nothing else waits so.
TEST_F(ConnectionMachineTest, OnlyAnOpenBodyLineIsTakenAtAPause) {
    struct Case {
        const char* what;
        std::string bytes;
        bool waitsForBody;
        Next atPause;
    };
    const Case cases[] = {
        {"body line without its end", "POST /run.cgi HTTP/1.0\r\n\r\nq=12", true, Next::Decided},
        {"no body yet", "POST /run.cgi HTTP/1.0\r\n\r\n", true, Next::Decided},
        {"header not in yet", "POST /run.cgi HTTP/1.0\r\nHost: h\r\n", false, Next::Wait},
        {"a file's header not in yet", "GET /a.htm HTTP/1.0\r\n", false, Next::Wait},
        // A chunked body ends at its last chunk, never at a pause.
        {"chunked body still coming",
         "POST /run.cgi HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", false, Next::Wait},
    };
    for (const Case& c : cases) {
        ScriptedLink link;
        link.incoming = c.bytes;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        EXPECT_EQ(machine.OnReadable(0), Next::Wait) << c.what;
        EXPECT_EQ(machine.WaitsForBodyLine(), c.waitsForBody) << c.what;
        EXPECT_EQ(machine.OnBodyPause(), c.atPause) << c.what;
        if (c.atPause == Next::Decided) {
            EXPECT_EQ(machine.request().method, "POST") << c.what;
        }
    }
    // An ended body line decides at once, with no pause.
    ScriptedLink link;
    link.incoming = "POST /run.cgi HTTP/1.0\r\n\r\nq=12\r\n";
    ConnectionMachine machine(link, 0, kTimeoutMs);
    EXPECT_EQ(machine.OnReadable(0), Next::Decided);
    EXPECT_EQ(machine.request().query, "q=12");
}

TEST_F(ConnectionMachineTest, NothingToReadYetKeepsTheConnectionWaiting) {
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    EXPECT_EQ(machine.OnReadable(0), Next::Wait);
    EXPECT_EQ(machine.OnWritable(0), Next::Wait);
    EXPECT_EQ(machine.phase(), Phase::ReadHeader);
}

TEST_F(ConnectionMachineTest, AnswersReachTheWireExactlyAsComposedHoweverLittleTheSocketTakes) {
    struct Case {
        const char* name;
        std::string head;
        size_t fileSize;  // 0: no file
        std::string tail;
        size_t roomPerEvent;
    };
    const Case cases[] = {
        {"bytes alone", "HTTP/1.0 404 Not Found\r\n\r\npage\r\n", 0, "", SIZE_MAX},
        {"head and tail, trickled", "HTTP/1.1 200 OK\r\n\r\n", 0, "\r\n", 3},
        {"small file in one send", "HTTP/1.0 200 OK\r\n\r\n", 1024, "\r\n\r\n", SIZE_MAX},
        {"small file, trickled", "HTTP/1.0 200 OK\r\n\r\n", 100 * 1024, "\r\n\r\n", 7000},
        {"large file", "HTTP/1.0 200 OK\r\n\r\n", 3 * 1024 * 1024 + 17, "\r\n\r\n", SIZE_MAX},
        {"large file, trickled", "HTTP/1.0 200 OK\r\n\r\n", 300 * 1024 + 5, "\r\n\r\n", 65536},
        {"empty file", "HTTP/1.0 200 OK\r\n\r\n", 0, "\r\n\r\n", SIZE_MAX},
    };
    for (const Case& c : cases) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        Decide(machine, link);
        const std::string body = Pattern(c.fileSize);
        Answer answer(c.head, c.fileSize == 0 ? 0 : FileOf(body), 0, c.fileSize, c.tail);
        const std::string expected = c.head + body + c.tail;
        link.room = c.roomPerEvent;
        Next next = machine.Answer(std::move(answer), 0);
        int events = 0;
        while (next == Next::Wait && events < 100000) {
            link.room = c.roomPerEvent;
            next = machine.OnWritable(static_cast<uint64_t>(++events));
        }
        EXPECT_EQ(next, Next::Close) << c.name;
        EXPECT_TRUE(link.wire == expected) << c.name << ": " << link.wire.size() << " of " << expected.size();
        // Write events are asked for once, and only when a send would have blocked.
        EXPECT_EQ(link.writeRequests, events > 0 ? 1 : 0) << c.name;
    }
}

TEST_F(ConnectionMachineTest, SmallFileAnswerGoesOutInOneSend) {
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    Decide(machine, link);
    EXPECT_EQ(machine.Answer(Answer("HEAD\r\n", FileOf(Pattern(1024)), 0, 1024, "\r\n\r\n"), 0), Next::Close);
    EXPECT_EQ(link.sends, 1);
}

TEST_F(ConnectionMachineTest, AStretchOfTheFileIsSentFromItsOffset) {
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    Decide(machine, link);
    const std::string body = Pattern(400 * 1024);
    EXPECT_EQ(machine.Answer(Answer("H", FileOf(body), 1000, 200 * 1024, "T"), 0), Next::Close);
    EXPECT_TRUE(link.wire == "H" + body.substr(1000, 200 * 1024) + "T");
}

TEST_F(ConnectionMachineTest, AFileShorterThanPromisedEndsTheAnswerWithWhatIsThere) {
    for (size_t promised : {size_t{2000}, size_t{500 * 1024}}) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        Decide(machine, link);
        const std::string body = Pattern(1000);
        EXPECT_EQ(machine.Answer(Answer("HEAD|", FileOf(body), 0, promised, "|TAIL"), 0), Next::Close);
        EXPECT_EQ(link.wire, "HEAD|" + body) << promised;
    }
}

TEST_F(ConnectionMachineTest, AFailedSendClosesTheConnection) {
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    Decide(machine, link);
    link.room = 10;
    EXPECT_EQ(machine.Answer(Answer("HTTP/1.0 200 OK\r\n\r\n" + Pattern(200 * 1024)), 0), Next::Wait);
    link.failSend = true;
    EXPECT_EQ(machine.OnWritable(1), Next::Close);
    EXPECT_EQ(machine.phase(), Phase::Done);
}

TEST_F(ConnectionMachineTest, BytesAfterTheRequestAreDrainedAndAFinishedPeerStillGetsItsAnswer) {
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    Decide(machine, link);
    link.room = 5;
    EXPECT_EQ(machine.Answer(Answer("0123456789"), 0), Next::Wait);
    link.incoming = "more bytes the client sent";
    link.peerFinished = true;
    EXPECT_EQ(machine.OnReadable(1), Next::Wait);
    EXPECT_TRUE(link.incoming.empty());
    // The end is read once; later read events ask the socket nothing more.
    const int receives = link.receives;
    EXPECT_EQ(machine.OnReadable(2), Next::Wait);
    EXPECT_EQ(link.receives, receives);
    link.room = 5;
    EXPECT_EQ(machine.OnWritable(3), Next::Close);
    EXPECT_EQ(link.wire, "0123456789");
}

// A refusal sent before the request's end: the sending side is finished and
// the client's last bytes are read and dropped until its end, or for at most
// a moment, so that the close cannot reset the refusal under it. An answer to
// a request that was not refused closes at once.
TEST_F(ConnectionMachineTest, ARefusalLingersUntilTheClientEndsOrAMomentPasses) {
    const std::string tooLong = "GET /page.htm HTTP/1.0\r\nX-Filler: " + std::string(17000, 'f');
    struct Case {
        const char* what;
        std::string request;
        bool finished;  // the client ended its sending before the answer went out
        bool lingers;
    } cases[] = {
        {"a header over the limit", tooLong, false, true},
        {"a whole request from a client that has finished", "GET /page.htm HTTP/1.0\r\n\r\n", true, false},
        {"a whole request", "GET /page.htm HTTP/1.0\r\n\r\n", false, false},
    };
    for (const Case& c : cases) {
        for (bool byTime : {false, true}) {
            ScriptedLink link;
            ConnectionMachine machine(link, 0, kTimeoutMs);
            link.incoming = c.request;
            link.peerFinished = c.finished;
            ASSERT_EQ(machine.OnReadable(0), Next::Decided) << c.what;
            const Next afterAnswer = machine.Answer(Answer("refused"), 10);
            EXPECT_EQ(link.wire, "refused") << c.what;
            if (!c.lingers) {
                EXPECT_EQ(afterAnswer, Next::Close) << c.what;
                EXPECT_EQ(link.finishes, 0) << c.what;
                continue;
            }
            EXPECT_EQ(afterAnswer, Next::Wait) << c.what;
            EXPECT_EQ(machine.phase(), Phase::Linger) << c.what;
            EXPECT_EQ(link.finishes, 1) << c.what;
            // What the client still sends is read and dropped.
            link.incoming = std::string(50000, 'x');
            EXPECT_EQ(machine.OnReadable(20), Next::Wait) << c.what;
            EXPECT_TRUE(link.incoming.empty()) << c.what;
            EXPECT_EQ(machine.OnWritable(30), Next::Wait) << c.what;
            if (byTime) {
                EXPECT_FALSE(machine.Expired(10 + qv::server::kLingerMs - 1)) << c.what;
                EXPECT_TRUE(machine.Expired(10 + qv::server::kLingerMs)) << c.what;
            } else {
                link.peerFinished = true;
                EXPECT_EQ(machine.OnReadable(40), Next::Close) << c.what;
            }
            EXPECT_EQ(link.wire, "refused") << c.what;
        }
    }
}

TEST_F(ConnectionMachineTest, DeadlinesFollowWhatTheConnectionWaitsFor) {
    ScriptedLink link;
    ConnectionMachine machine(link, 1000, kTimeoutMs);
    // Waiting for the header: counted from the start, whatever arrives meanwhile.
    link.incoming = "GET /a.htm HTTP/1.0\r\n";
    EXPECT_EQ(machine.OnReadable(30000), Next::Wait);
    EXPECT_FALSE(machine.Expired(1000 + kTimeoutMs - 1));
    EXPECT_TRUE(machine.Expired(1000 + kTimeoutMs));
    // Decided and being handled: the wait is the server's, never the client's.
    link.incoming = "\r\n";
    EXPECT_EQ(machine.OnReadable(40000), Next::Decided);
    EXPECT_FALSE(machine.Expired(1000000));
    // Writing: counted from the last bytes the client took.
    link.room = 4;
    EXPECT_EQ(machine.Answer(Answer(Pattern(100)), 1000000), Next::Wait);
    EXPECT_FALSE(machine.Expired(1000000 + kTimeoutMs - 1));
    link.room = 4;
    EXPECT_EQ(machine.OnWritable(1000000 + 50000), Next::Wait);
    EXPECT_FALSE(machine.Expired(1000000 + kTimeoutMs + 10));
    EXPECT_TRUE(machine.Expired(1000000 + 50000 + kTimeoutMs));
}

// A client that asks for "100 Continue" gets it once, as soon as the header
// says its body will be read, and the answer comes after it; a request decided
// at its header gets its answer alone.
TEST_F(ConnectionMachineTest, ContinueGoesOutOnceBeforeTheBody) {
    const std::string continueLine = ConnectionMachine::kContinue;
    EXPECT_EQ(continueLine, "HTTP/1.1 100 Continue\r\n\r\n");
    struct Case {
        const char* name;
        std::string header;
        std::vector<std::string> bodyPieces;
        bool continues;
    };
    const std::string byLength = "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 10\r\n\r\n";
    const std::string chunked =
        "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n\r\n";
    const Case cases[] = {
        {"by length", byLength, {"01234", "56789"}, true},
        {"chunked", chunked, {"5\r\n01234\r\n", "5\r\n56789\r\n", "0\r\n\r\n"}, true},
        // Some of the body came with the header: the rest is still awaited.
        {"part of the body with the header", byLength + "012", {"3456789"}, true},
        // All of it came: nothing to wait for.
        {"the whole body with the header", byLength + "0123456789", {}, false},
        {"not asked", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nContent-Length: 10\r\n\r\n", {"0123456789"}, false},
        {"HTTP/1.0", "POST /run.cgi HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 10\r\n\r\n", {"0123456789"},
         false},
        {"refused at the header",
         "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 9999999\r\n\r\n", {}, false},
        {"a body nobody reads", "POST /form.htm HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 10\r\n\r\n",
         {}, false},
        // Neither a length nor chunks: HTTP sees no body, and the body line is taken as it comes.
        {"a body line", "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\n\r\n", {"q=1\r\n"}, false},
    };
    for (const Case& c : cases) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        link.incoming = c.header;
        Next next = machine.OnReadable(0);
        EXPECT_EQ(link.wire, c.continues ? continueLine : "") << c.name;
        for (const std::string& piece : c.bodyPieces) {
            ASSERT_EQ(next, Next::Wait) << c.name;
            link.incoming = piece;
            next = machine.OnReadable(1);
        }
        ASSERT_EQ(next, Next::Decided) << c.name;
        // Once per request, whatever came after.
        EXPECT_EQ(link.wire, c.continues ? continueLine : "") << c.name;
        // A refused request's answer lingers for the body the client may still send.
        const bool refused = machine.request().refusal != qv::server::Refusal::None;
        EXPECT_EQ(machine.Answer(Answer("HTTP/1.0 200 OK\r\n\r\nout\r\n"), 2), refused ? Next::Wait : Next::Close)
            << c.name;
        EXPECT_EQ(link.wire, (c.continues ? continueLine : "") + "HTTP/1.0 200 OK\r\n\r\nout\r\n") << c.name;
    }
}

// What the socket would not take of the interim answer goes out before the
// answer, which waits for it.
TEST_F(ConnectionMachineTest, ContinueTheSocketDidNotTakeGoesBeforeTheAnswer) {
    for (size_t room : {size_t{0}, size_t{1}, size_t{10}, size_t{24}}) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        link.room = room;
        link.incoming = "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n";
        ASSERT_EQ(machine.OnReadable(0), Next::Wait) << room;
        link.incoming = "abc";
        ASSERT_EQ(machine.OnReadable(1), Next::Decided) << room;
        link.room = 3;
        Next next = machine.Answer(Answer("HTTP/1.0 200 OK\r\n\r\nout\r\n"), 2);
        int events = 0;
        while (next == Next::Wait && events < 1000) {
            link.room = 3;
            next = machine.OnWritable(static_cast<uint64_t>(3 + events++));
        }
        EXPECT_EQ(next, Next::Close) << room;
        EXPECT_EQ(link.wire, std::string(ConnectionMachine::kContinue) + "HTTP/1.0 200 OK\r\n\r\nout\r\n") << room;
        EXPECT_EQ(link.writeRequests, 1) << room;
    }
    // A failed send of the interim answer ends the connection.
    ScriptedLink link;
    ConnectionMachine machine(link, 0, kTimeoutMs);
    link.failSend = true;
    link.incoming = "POST /run.cgi HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n";
    EXPECT_EQ(machine.OnReadable(0), Next::Close);
    EXPECT_EQ(machine.phase(), Phase::Done);
}

// A kept connection: requests that came together are answered in order, each
// once the last byte of the previous answer is out, and each answer ends at
// its length; the one that asks to close gets today's bytes and the close.
TEST_F(ConnectionMachineTest, PipelinedRequestsAreAnsweredInOrderOnAKeptConnection) {
    const std::string answerHead = "HTTP/1.0 200 OK\r\nContent-Length: 1\r\n\r\n";
    for (size_t room : {SIZE_MAX, size_t{7}}) {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        link.incoming = "GET /a HTTP/1.1\r\nHost: h\r\n\r\nHEAD /b HTTP/1.1\r\nHost: h\r\n\r\n"
                        "GET /c HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n";
        ASSERT_EQ(machine.OnReadable(0), Next::Decided);
        std::string expected;
        for (const char* url : {"/a", "/b", "/c"}) {
            SCOPED_TRACE(std::string(url) + " room " + std::to_string(room));
            ASSERT_EQ(machine.request().url, url);
            const bool last = url == std::string("/c");
            const bool head = url == std::string("/b");
            Answer answer(answerHead, 0, 0, 0, head ? "" : "x\r\n\r\n");
            link.room = room;
            Next next = machine.Answer(std::move(answer), 1);
            while (next == Next::Wait && machine.phase() == Phase::Write) {
                // The next request waits for this answer's last byte.
                EXPECT_NE(machine.phase(), Phase::Handle);
                link.room = room;
                next = machine.OnWritable(2);
            }
            if (last) {
                expected += answerHead + "x\r\n\r\n";
                EXPECT_EQ(next, Next::Close);
            } else {
                expected += "HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n" + std::string(head ? "" : "x");
                EXPECT_EQ(next, Next::Decided);
            }
            EXPECT_EQ(link.wire, expected);
        }
    }
}

// Between requests a kept connection waits the keep-alive time for the next
// one to begin; once it has, its header has the usual time-out. A client that
// has finished sending is answered what it sent, then closed; and a connection
// is closed after its last allowed request.
TEST_F(ConnectionMachineTest, AKeptConnectionWaitsItsTimeForTheNextRequest) {
    const std::string request = "GET /a HTTP/1.1\r\nHost: h\r\n\r\n";
    const auto answer = [] { return Answer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"); };
    {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs, qv::server::RequestReader::kDefaultBodyLimit, 5000);
        link.incoming = request;
        ASSERT_EQ(machine.OnReadable(0), Next::Decided);
        EXPECT_EQ(machine.Answer(answer(), 1000), Next::Wait);
        EXPECT_TRUE(machine.idleBetweenRequests());
        EXPECT_FALSE(machine.Expired(5999));
        EXPECT_TRUE(machine.Expired(6000));
        link.incoming = "GET /b HTTP/1.1\r\n";
        EXPECT_EQ(machine.OnReadable(5500), Next::Wait);
        EXPECT_FALSE(machine.idleBetweenRequests());
        EXPECT_FALSE(machine.Expired(5500 + kTimeoutMs - 1));
        EXPECT_TRUE(machine.Expired(5500 + kTimeoutMs));
    }
    {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        link.incoming = request + request;
        link.peerFinished = true;
        ASSERT_EQ(machine.OnReadable(0), Next::Decided);
        EXPECT_EQ(machine.Answer(answer(), 1), Next::Decided);
        EXPECT_EQ(machine.Answer(answer(), 2), Next::Close);
        EXPECT_EQ(link.wire.rfind("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\nHTTP/1."), 0u) << link.wire;
    }
    {
        ScriptedLink link;
        ConnectionMachine machine(link, 0, kTimeoutMs);
        for (uint32_t i = 1; i <= qv::server::kRequestsPerConnection; ++i) {
            link.incoming = request;
            ASSERT_EQ(machine.OnReadable(i), Next::Decided) << i;
            const Next next = machine.Answer(answer(), i);
            ASSERT_EQ(next, i < qv::server::kRequestsPerConnection ? Next::Wait : Next::Close) << i;
        }
    }
}

}  // namespace
