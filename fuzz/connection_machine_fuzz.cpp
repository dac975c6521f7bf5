// One connection's machine driven by a script of socket events taken from
// the input: bytes arriving in random pieces, read and write events in any
// order, a socket that takes a random amount at a time, failures, the peer
// finishing early, and time passing. Whatever happens, each answer's bytes on
// the wire are that answer (as composed, marked as closing, or delimited for
// a kept connection) or its beginning, nothing goes out before a request is
// decided but the interim "100 Continue" of a client that waits for it (once,
// and ahead of the answer), a kept connection's next exchange starts right
// after the last one's bytes, and a closed connection stays closed.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "server/answer_framing.h"
#include "server/connection_machine.h"
#include "server/request_reader.h"

namespace {

namespace platform = qv::platform;
using qv::server::Answer;
using qv::server::ConnectionMachine;
using Next = ConnectionMachine::Next;

constexpr size_t kFileSize = 300 * 1024;

// The file answers are cut from: made once per run, in /tmp.
const std::string& FileName() {
    static const std::string name = [] {
        std::string name = "quorvex-connection-fuzz-" + std::to_string(getpid()) + ".bin";
        platform::File file = platform::CreateSharedFile("/tmp/" + name);
        std::string bytes(kFileSize, '\0');
        for (size_t i = 0; i < kFileSize; ++i) bytes[i] = static_cast<char>(i * 31 + i / 977);
        platform::WriteToFile(file, bytes.data(), bytes.size());
        platform::CloseFile(file);
        return name;
    }();
    return name;
}

// A fresh handle on that file, as the file route opens one.
platform::File OpenTheFile() {
    static platform::OpenedDirectory directory;
    static const bool opened = platform::OpenDirectory("/tmp", directory);
    FUZZ_REQUIRE(opened);
    return platform::OpenBelow(directory, FileName(), platform::OpenPurpose::Read).file;
}

std::string FileBytes(uint64_t offset, uint64_t length) {
    static const std::string whole = [] {
        std::string bytes(kFileSize, '\0');
        for (size_t i = 0; i < kFileSize; ++i) bytes[i] = static_cast<char>(i * 31 + i / 977);
        return bytes;
    }();
    if (offset >= kFileSize) return std::string();
    return whole.substr(static_cast<size_t>(offset), static_cast<size_t>(std::min<uint64_t>(length, kFileSize - offset)));
}

class Script {
public:
    Script(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string Bytes(size_t count) {
        std::string out;
        for (; count > 0 && at_ < size_; --count) out.push_back(static_cast<char>(data_[at_++]));
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

class FuzzLink : public qv::server::ConnectionLink {
public:
    long ReceiveNow(char* buffer, size_t size) override {
        if (failReceive) return -1;
        if (arrived.empty()) return peerFinished ? 0 : platform::kWouldBlock;
        size_t count = size < arrived.size() ? size : arrived.size();
        arrived.copy(buffer, count);
        received += arrived.substr(0, count);
        // The reader's verdict on the same pieces: whether the machine owes
        // the interim answer once it has fed them.
        shadow.Feed(arrived.substr(0, count));
        if (shadow.WantsContinue()) continued = true;
        arrived.erase(0, count);
        return static_cast<long>(count);
    }
    long SendNow(const char* data, size_t size) override {
        if (failSend) return -1;
        size_t count = size < room ? size : room;
        if (count == 0) return platform::kWouldBlock;
        wire.append(data, count);
        room -= count;
        return static_cast<long>(count);
    }
    long SendFileNow(platform::File file, uint64_t offset, size_t count) override {
        if (failSend) return -1;
        count = count < room ? count : room;
        if (count == 0) return platform::kWouldBlock;
        std::string piece(count, '\0');
        long got = platform::ReadFileAt(file, offset, &piece[0], count);
        if (got > 0) {
            wire.append(piece, 0, static_cast<size_t>(got));
            room -= static_cast<size_t>(got);
        }
        return got;
    }
    void AskForWriteEvents() override { ++writeRequests; }

    std::string arrived, received, wire;
    qv::server::RequestReader shadow;
    bool continued = false;
    bool peerFinished = false, failReceive = false, failSend = false;
    size_t room = 0;
    int writeRequests = 0;
};


// The bytes an answer puts on the wire, from `before` on: its head, the file's
// stretch as far as the file goes, and its closing bytes when the stretch was whole.
std::string WireOf(const std::string& before, const Answer& answer, bool withFile) {
    std::string bytes = before + answer.head();
    if (!withFile) return bytes + answer.tail();
    bytes += FileBytes(answer.offset(), answer.length());
    if (answer.length() == 0 || answer.offset() + answer.length() <= kFileSize) bytes += answer.tail();
    return bytes;
}

// Every way the answer may go out: as composed (the connection closes), marked
// as closing, or delimited for a kept connection.
std::vector<std::string> WaysOut(const std::string& before, const std::string& head, const std::string& tail,
                                 uint64_t offset, uint64_t length, bool withFile, const qv::server::Request& request) {
    std::vector<std::string> ways;
    const auto make = [&] {
        return withFile ? Answer(head, OpenTheFile(), offset, length, tail) : Answer(head, 0, 0, 0, tail);
    };
    Answer composed = make();
    ways.push_back(WireOf(before, composed, withFile));
    Answer marked = make();
    qv::server::MarkClosing(marked);
    ways.push_back(WireOf(before, marked, withFile));
    Answer kept = make();
    if (qv::server::FrameForKeptConnection(kept, request)) ways.push_back(WireOf(before, kept, withFile));
    return ways;
}

bool StartsOneOf(const std::vector<std::string>& ways, std::string_view sent) {
    for (const std::string& way : ways) {
        if (sent.size() <= way.size() && way.compare(0, sent.size(), sent) == 0) return true;
    }
    return false;
}

bool IsOneOf(const std::vector<std::string>& ways, std::string_view sent) {
    for (const std::string& way : ways) {
        if (std::string_view(way) == sent) return true;
    }
    return false;
}

// The length of the way that `sent` starts with, when what follows it is the
// beginning of the next request's interim answer; 0 when there is none.
size_t WayThenInterim(const std::vector<std::string>& ways, std::string_view sent, const std::string& interim) {
    for (const std::string& way : ways) {
        if (sent.size() < way.size() || sent.compare(0, way.size(), way) != 0) continue;
        const std::string_view rest = sent.substr(way.size());
        if (rest.size() <= interim.size() && interim.compare(0, rest.size(), rest) == 0) return way.size();
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script script(data, size);
    FuzzLink link;
    uint64_t now = 0;
    ConnectionMachine machine(link, now, 58622);
    const std::string interim = ConnectionMachine::kContinue;
    // The exchange under way: where its bytes start on the wire, whether its
    // request is decided and answered, and the ways its answer may go out.
    size_t start = 0;
    bool first = true;  // the connection's first request: its interim answer is known exactly
    bool decided = false, closed = false, answered = false, closedByWriting = false, wholeFile = true;
    std::vector<std::string> ways;
    std::string firstPath, firstMethod;  // the first request as the machine decided it

    for (int steps = 0; !script.done() && !closed && steps < 10000; ++steps) {
        Next next = Next::Wait;
        const uint8_t event = script.Byte() % 8;
        switch (event) {
        case 0:
            link.arrived += script.Bytes(script.Byte());
            break;
        case 1:
            link.peerFinished = true;
            break;
        case 2:
        case 3:
            next = machine.OnReadable(now);
            break;
        case 4:
            link.room += static_cast<size_t>(script.Byte()) * 509;
            next = machine.OnWritable(now);
            break;
        case 5:
            now += static_cast<uint64_t>(script.Byte()) * 1000;
            if (machine.Expired(now)) closed = true;  // as the owner closes it
            break;
        case 6: {
            uint8_t which = script.Byte();
            if (which == 1) link.failReceive = true;
            if (which == 2) link.failSend = true;
            break;
        }
        case 7:
            if (decided && !answered) {
                // An answer of bytes alone, or with a stretch of the file that may run past its end.
                const std::string head = script.Bytes(script.Byte());
                const std::string tail = script.Bytes(script.Byte() % 8);
                const uint64_t offset = static_cast<uint64_t>(script.Byte()) * 1531;
                const uint64_t length = static_cast<uint64_t>(script.Byte()) * script.Byte() * 11;
                const bool withFile = script.Byte() % 2 != 0;
                answered = true;
                wholeFile = !withFile || length == 0 || offset + length <= kFileSize;
                // A later request's interim answer may have gone out or not.
                ways.clear();
                for (const std::string& before : first ? std::vector<std::string>{link.continued ? interim : ""}
                                                       : std::vector<std::string>{"", interim}) {
                    for (std::string& way : WaysOut(before, head, tail, offset, length, withFile, machine.request())) {
                        ways.push_back(std::move(way));
                    }
                }
                link.room += script.Byte();
                if (withFile) {
                    const platform::File file = OpenTheFile();
                    FUZZ_REQUIRE(file != 0);
                    next = machine.Answer(Answer(head, file, offset, length, tail), now);
                } else {
                    next = machine.Answer(Answer(head, 0, 0, 0, tail), now);
                }
            }
            break;
        }
        const std::string_view sent = std::string_view(link.wire).substr(start);
        const ConnectionMachine::Phase phase = machine.phase();
        // The answer went out whole and the connection stays: the next exchange begins.
        const bool kept = answered && (phase == ConnectionMachine::Phase::ReadHeader ||
                                       phase == ConnectionMachine::Phase::Handle);
        if (kept) {
            // The whole answer, then perhaps the next request's interim answer.
            const size_t answerSize = WayThenInterim(ways, sent, interim);
            FUZZ_REQUIRE(answerSize > 0);
            start += answerSize;
            first = false;
            decided = answered = false;
            ways.clear();
        } else if (answered) {
            // What went out is always one way of the answer's beginning.
            FUZZ_REQUIRE(StartsOneOf(ways, sent));
        } else if (!decided) {
            // Nothing before the decision but the interim answer of a client that waits for it.
            const bool owed = first ? link.continued : true;
            FUZZ_REQUIRE(sent.size() <= (owed ? interim.size() : 0));
            FUZZ_REQUIRE(interim.compare(0, sent.size(), sent) == 0);
        }
        if (next == Next::Decided) {
            FUZZ_REQUIRE(!decided);
            decided = true;
            FUZZ_REQUIRE(phase == ConnectionMachine::Phase::Handle);
            if (first) {
                firstPath = machine.request().path;
                firstMethod = machine.request().method;
            }
        }
        if (next == Next::Close) {
            FUZZ_REQUIRE(phase == ConnectionMachine::Phase::Done);
            closed = true;
            closedByWriting = answered && (event == 4 || event == 7);
        }
        // Write events are asked for at most once.
        FUZZ_REQUIRE(link.writeRequests <= 1);
    }
    // A closed answer that met no failure went out whole.
    if (closedByWriting && !link.failSend) {
        const std::string_view sent = std::string_view(link.wire).substr(start);
        FUZZ_REQUIRE(wholeFile ? IsOneOf(ways, sent) : StartsOneOf(ways, sent));
    }
    if (decided || !first) {
        // The first request is the reader's verdict on the bytes taken (however they were split).
        qv::server::RequestReader whole;
        whole.Feed(link.received);
        FUZZ_REQUIRE(whole.request().path == firstPath);
        FUZZ_REQUIRE(whole.request().method == firstMethod);
    }
    return 0;
}
