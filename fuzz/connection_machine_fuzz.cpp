// One connection's machine driven by a script of socket events taken from
// the input: bytes arriving in random pieces, read and write events in any
// order, a socket that takes a random amount at a time, failures, the peer
// finishing early, and time passing. Whatever happens, the bytes on the wire
// are the composed answer or its beginning, nothing goes out before the
// request is decided but the interim "100 Continue" of a client that waits
// for it (once, and ahead of the answer), and a closed connection stays closed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "fuzz_check.h"
#include "platform/platform.h"
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
    std::string bytes;
    for (uint64_t i = offset; i < offset + length && i < kFileSize; ++i) {
        bytes.push_back(static_cast<char>(i * 31 + i / 977));
    }
    return bytes;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script script(data, size);
    FuzzLink link;
    uint64_t now = 0;
    ConnectionMachine machine(link, now, 58622);
    std::string expected;  // the interim answer when owed, then the composed answer once there is one
    const std::string interim = ConnectionMachine::kContinue;
    bool decided = false, closed = false, answered = false, closedByWriting = false;

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
                answered = true;
                const std::string before = link.continued ? interim : std::string();
                if (script.Byte() % 2 == 0) {
                    expected = before + head + tail;
                    link.room += script.Byte();
                    next = machine.Answer(Answer(head, 0, 0, 0, tail), now);
                } else {
                    const platform::File file = OpenTheFile();
                    FUZZ_REQUIRE(file != 0);
                    expected = before + head + FileBytes(offset, length);
                    if (length == 0 || offset + length <= kFileSize) expected += tail;
                    link.room += script.Byte();
                    next = machine.Answer(Answer(head, file, offset, length, tail), now);
                }
            }
            break;
        }
        if (!answered && link.continued) expected = interim;
        if (!decided) FUZZ_REQUIRE(link.wire.size() <= (link.continued ? interim.size() : 0));
        if (next == Next::Decided) {
            FUZZ_REQUIRE(!decided);
            decided = true;
            FUZZ_REQUIRE(machine.phase() == ConnectionMachine::Phase::Handle);
        }
        if (next == Next::Close) {
            FUZZ_REQUIRE(machine.phase() == ConnectionMachine::Phase::Done);
            closed = true;
            closedByWriting = event == 4 || event == 7;
        }
        // What went out is always the answer's beginning.
        FUZZ_REQUIRE(link.wire.size() <= expected.size());
        FUZZ_REQUIRE(expected.compare(0, link.wire.size(), link.wire) == 0);
        // Write events are asked for at most once.
        FUZZ_REQUIRE(link.writeRequests <= 1);
    }
    // A closed answer that met no failure went out whole.
    if (closedByWriting && !link.failSend) {
        FUZZ_REQUIRE(link.wire == expected);
    }
    if (decided) {
        // The machine's request is the reader's verdict on the bytes it took.
        qv::server::RequestReader whole;
        whole.Feed(link.received);
        FUZZ_REQUIRE(whole.request().path == machine.request().path);
        FUZZ_REQUIRE(whole.request().method == machine.request().method);
    }
    return 0;
}
