#include "server/connection_machine.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "server/answer_framing.h"

namespace qv::server {
namespace {

// Receives per event: a client that keeps sending cannot hold the loop, and
// the socket reports again while bytes are left.
constexpr int kReceivesPerEvent = 4;
constexpr size_t kReceiveSize = 16384;

// One buffer per loop thread, shared by its connections: nothing of it is kept between events.
char* ReceiveBuffer() {
    thread_local std::unique_ptr<char[]> buffer(new char[kReceiveSize]);
    return buffer.get();
}

char* AssemblyBuffer() {
    thread_local std::unique_ptr<char[]> buffer(new char[kAssembledAnswerLimit]);
    return buffer.get();
}

// Reads up to `count` bytes at `offset`; the count read (short at the end or on failure).
size_t ReadStretch(platform::File file, uint64_t offset, char* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        long got = platform::ReadFileAt(file, offset + done, buffer + done, count - done);
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

}  // namespace

ConnectionMachine::ConnectionMachine(ConnectionLink& link, uint64_t nowMs, uint64_t timeoutMs, int64_t bodyLimit,
                                     uint64_t keepAliveMs)
    : link_(link), timeoutMs_(timeoutMs), keepAliveMs_(keepAliveMs), openedAtMs_(nowMs), lastProgressMs_(nowMs),
      reader_(bodyLimit) {}

ConnectionMachine::Next ConnectionMachine::OnReadable(uint64_t nowMs) {
    // Once the peer has finished sending there is nothing more to read (and
    // asking again would only report the end again).
    if (phase_ == Phase::Done || peerDone_) return Next::Wait;
    char* buffer = ReceiveBuffer();
    if (phase_ == Phase::Linger) {
        for (int round = 0; round < kReceivesPerEvent; ++round) {
            const long got = link_.ReceiveNow(buffer, kReceiveSize);
            if (got == platform::kWouldBlock) return Next::Wait;
            if (got <= 0) {  // the client's end (or a failure): the close is safe now
                phase_ = Phase::Done;
                return Next::Close;
            }
        }
        return Next::Wait;  // more to drop: the next read event comes for it
    }
    for (int round = 0; round < kReceivesPerEvent; ++round) {
        // While an answer is worked out or goes out, the next requests' bytes
        // wait in the reader up to a bound; beyond it the socket waits too
        // (it reports again after the next receive).
        if (phase_ != Phase::ReadHeader && reader_.ahead().size() >= kReadAheadLimit) return Next::Wait;
        long got = link_.ReceiveNow(buffer, kReceiveSize);
        if (got == platform::kWouldBlock) return Next::Wait;
        if (got < 0) {
            phase_ = Phase::Done;
            return Next::Close;
        }
        if (got == 0) {
            peerDone_ = true;
            if (phase_ == Phase::ReadHeader) return Decide(reader_.Finish());
            // A client that ends while its answer is still being worked out
            // has left: nothing is kept for it. One that ends while its
            // answer goes out may only have finished sending, and is answered.
            if (phase_ == Phase::Handle) {
                phase_ = Phase::Done;
                return Next::Close;
            }
            return Next::Wait;
        }
        if (phase_ != Phase::ReadHeader) {
            // Past the request: kept for the next one where its end is
            // known, else read and dropped, so that closing the connection
            // later does not reset it under the client's answer.
            reader_.Feed(buffer, static_cast<size_t>(got));
            continue;
        }
        if (idle_) {
            // The next request has begun: its header has the time-out from here.
            idle_ = false;
            openedAtMs_ = nowMs;
        }
        lastProgressMs_ = nowMs;
        Next next = Decide(reader_.Feed(buffer, static_cast<size_t>(got)));
        if (next == Next::Wait) next = SendContinueIfAsked();
        if (next != Next::Wait) return next;
    }
    return Next::Wait;
}

// The body will be read: a client that waits for the word gets it now.
ConnectionMachine::Next ConnectionMachine::SendContinueIfAsked() {
    if (continueSent_ || !reader_.WantsContinue()) return Next::Wait;
    continueSent_ = true;
    interim_ = kContinue;
    if (SendInterim() == -1) {
        phase_ = Phase::Done;
        return Next::Close;
    }
    return Next::Wait;
}

ConnectionMachine::Next ConnectionMachine::OnBodyPause() {
    return WaitsForBodyLine() ? Decide(reader_.Finish()) : Next::Wait;
}

ConnectionMachine::Next ConnectionMachine::Decide(RequestReader::Status status) {
    switch (status) {
    case RequestReader::Status::Decided:
        phase_ = Phase::Handle;
        return Next::Decided;
    case RequestReader::Status::NoAnswer:
        phase_ = Phase::Done;
        return Next::Close;
    case RequestReader::Status::NotYet:
        break;
    }
    return Next::Wait;
}

ConnectionMachine::Next ConnectionMachine::Answer(server::Answer answer, uint64_t nowMs) {
    if (phase_ != Phase::Handle) return phase_ == Phase::Done ? Next::Close : Next::Wait;
    answer_ = std::move(answer);
    const Request& request = reader_.request();
    const bool asked = request.verb != Verb::None && AsksToKeepConnection(request);
    // A client that has finished sending keeps its connection only for requests it already sent.
    keep_ = asked && reader_.endKnown() && answered_ + 1 < kRequestsPerConnection &&
            !(peerDone_ && reader_.ahead().empty());
    if (keep_) keep_ = FrameForKeptConnection(answer_, request);
    if (asked && !keep_) MarkClosing(answer_);
    const uint64_t stretch = answer_.file() != 0 ? answer_.length() : 0;
    total_ = answer_.head().size() + stretch + answer_.tail().size();
    sent_ = 0;
    lastProgressMs_ = nowMs;
    phase_ = Phase::Write;
    return Write(nowMs);
}

ConnectionMachine::Next ConnectionMachine::OnWritable(uint64_t nowMs) {
    if (phase_ != Phase::Write) return phase_ == Phase::Done ? Next::Close : Next::Wait;
    return Write(nowMs);
}

bool ConnectionMachine::Expired(uint64_t nowMs) {
    switch (phase_) {
    case Phase::ReadHeader:
        if (idle_) return nowMs - lastProgressMs_ >= keepAliveMs_;
        // A header must come whole within the time-out; a body only keep coming.
        return nowMs - (reader_.headerComplete() ? lastProgressMs_ : openedAtMs_) >= timeoutMs_;
    case Phase::Write: {
        const long unsent = link_.UnsentBytes();
        if (unsent >= 0 && lastUnsent_ >= 0 && unsent < lastUnsent_) lastProgressMs_ = nowMs;
        lastUnsent_ = unsent;
        return nowMs - lastProgressMs_ >= timeoutMs_;
    }
    case Phase::Linger:
        return nowMs - lingerFromMs_ >= kLingerMs;
    case Phase::Handle:  // waiting on the server, not on the client
    case Phase::Done:
        break;
    }
    return false;
}

void ConnectionMachine::RestartDeadlines(uint64_t nowMs) {
    if (openedAtMs_ < nowMs) openedAtMs_ = nowMs;
    if (lastProgressMs_ < nowMs) lastProgressMs_ = nowMs;
    lastUnsent_ = -1;
}

long ConnectionMachine::SendInterim() {
    while (!interim_.empty()) {
        const long sent = link_.SendNow(interim_.data(), interim_.size());
        if (sent <= 0) return sent == platform::kWouldBlock ? sent : -1;
        interim_.erase(0, static_cast<size_t>(sent));
    }
    return 0;
}

ConnectionMachine::Next ConnectionMachine::Write(uint64_t nowMs) {
    // The rest of an interim answer the socket would not take at once goes first.
    const long interim = SendInterim();
    if (interim == platform::kWouldBlock) {
        if (!askedForWrite_) {
            askedForWrite_ = true;
            link_.AskForWriteEvents();
        }
        return Next::Wait;
    }
    if (interim < 0) {
        phase_ = Phase::Done;
        answer_ = server::Answer();
        return Next::Close;
    }
    while (sent_ < total_) {
        long sent = SendNext();
        if (sent == platform::kWouldBlock) {
            if (!askedForWrite_) {
                askedForWrite_ = true;
                link_.AskForWriteEvents();
            }
            return Next::Wait;
        }
        // A failed send, or the file ended early: the answer ends short, as
        // its length was already promised, and the connection is closed.
        if (sent <= 0) break;
        sent_ += static_cast<uint64_t>(sent);
        lastProgressMs_ = nowMs;
        lastUnsent_ = -1;
    }
    answer_ = server::Answer();
    // A client refused before the end of its request may still be sending:
    // closing now, with its bytes unread, would reset the refusal under it.
    if (sent_ >= total_ && !peerDone_ && reader_.request().refusal != Refusal::None) {
        phase_ = Phase::Linger;
        lingerFromMs_ = nowMs;
        link_.FinishSending();
        return Next::Wait;
    }
    if (sent_ >= total_ && keep_) return StartNextRequest(nowMs);
    phase_ = Phase::Done;
    return Next::Close;
}

ConnectionMachine::Next ConnectionMachine::StartNextRequest(uint64_t nowMs) {
    ++answered_;
    keep_ = false;
    const std::string ahead = reader_.ahead();
    reader_ = reader_.Following();
    phase_ = Phase::ReadHeader;
    continueSent_ = false;
    interim_.clear();
    total_ = sent_ = 0;
    lastUnsent_ = -1;
    openedAtMs_ = lastProgressMs_ = nowMs;
    idle_ = ahead.empty();
    if (!ahead.empty()) {
        Next next = Decide(reader_.Feed(ahead));
        if (next == Next::Wait) next = SendContinueIfAsked();
        if (next != Next::Wait) return next;
    }
    if (peerDone_) return Decide(reader_.Finish());
    // The socket reports new bytes only after a receive: one may have been
    // left undone while the answer went out.
    return OnReadable(nowMs);
}

long ConnectionMachine::SendNext() {
    const std::string& head = answer_.head();
    const std::string& tail = answer_.tail();
    const bool hasFile = answer_.file() != 0 && answer_.length() > 0;
    const uint64_t fileEnd = head.size() + (hasFile ? answer_.length() : 0);
    // Small answers, and head and tail without a file, go out together.
    const bool assemble = total_ <= kAssembledAnswerLimit && (hasFile || (sent_ < head.size() && !tail.empty()));
    if (assemble) return SendAssembled();
    if (sent_ < head.size()) return link_.SendNow(head.data() + sent_, head.size() - sent_);
    if (sent_ < fileEnd) {
        const uint64_t within = sent_ - head.size();
        const size_t count = static_cast<size_t>(std::min<uint64_t>(fileEnd - sent_, kFileStretch));
        return link_.SendFileNow(answer_.file(), answer_.offset() + within, count);
    }
    const size_t inTail = static_cast<size_t>(sent_ - fileEnd);
    return link_.SendNow(tail.data() + inTail, tail.size() - inTail);
}

// Everything from `sent_` to the end in one buffer and one send.
long ConnectionMachine::SendAssembled() {
    const std::string& head = answer_.head();
    const std::string& tail = answer_.tail();
    const bool hasFile = answer_.file() != 0 && answer_.length() > 0;
    const uint64_t fileEnd = head.size() + (hasFile ? answer_.length() : 0);
    char* bytes = AssemblyBuffer();
    size_t at = 0;
    uint64_t position = sent_;
    if (position < head.size()) {
        at = head.size() - static_cast<size_t>(position);
        std::memcpy(bytes, head.data() + position, at);
        position = head.size();
    }
    if (position < fileEnd) {
        const size_t wanted = static_cast<size_t>(fileEnd - position);
        const size_t read = ReadStretch(answer_.file(), answer_.offset() + (position - head.size()), bytes + at, wanted);
        at += read;
        if (read != wanted) {
            // The file shrank meanwhile: what was read goes out and the answer ends there.
            total_ = sent_ + at;
            return at == 0 ? -1 : link_.SendNow(bytes, at);
        }
        position = fileEnd;
    }
    const size_t inTail = static_cast<size_t>(position - fileEnd);
    std::memcpy(bytes + at, tail.data() + inTail, tail.size() - inTail);
    at += tail.size() - inTail;
    return link_.SendNow(bytes, at);
}

}  // namespace qv::server
