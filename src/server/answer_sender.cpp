// Sending an answer while the caller waits: a small file goes out with its
// header and closing bytes in one send from a buffer kept between requests,
// a large one in pieces.
#include <cstring>
#include <memory>

#include "net/channel.h"
#include "server/answer.h"
#include "server/file_pieces.h"

namespace qv::server {
namespace {

// A buffer kept between requests and not cleared before it is filled, so
// serving a file neither allocates nor zeroes fresh pages each time.
class AnswerBuffer {
public:
    char* Prepare(size_t size) {
        if (size > capacity_) {
            data_.reset(new char[size]);
            capacity_ = size;
        }
        return data_.get();
    }

private:
    std::unique_ptr<char[]> data_;
    size_t capacity_ = 0;
};

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

void SendAnswerNow(int channel, Answer& answer) {
    if (answer.file() == 0 || answer.length() == 0) {
        if (answer.tail().empty()) {
            net::SendChannel(channel, answer.head());
        } else {
            net::SendChannel(channel, answer.head() + answer.tail());
        }
        return;
    }
    if (answer.length() <= kWholeFileLimit) {
        thread_local AnswerBuffer buffer;
        const size_t headSize = answer.head().size();
        const size_t length = static_cast<size_t>(answer.length());
        char* bytes = buffer.Prepare(headSize + length + answer.tail().size());
        std::memcpy(bytes, answer.head().data(), headSize);
        const size_t read = ReadStretch(answer.file(), answer.offset(), bytes + headSize, length);
        if (read != length) {
            // The file shrank meanwhile: what was read goes out and the answer ends short.
            net::SendChannel(channel, bytes, headSize + read);
            return;
        }
        std::memcpy(bytes + headSize + length, answer.tail().data(), answer.tail().size());
        net::SendChannel(channel, bytes, headSize + length + answer.tail().size());
        return;
    }
    const platform::File file = answer.file();
    const uint64_t start = answer.offset();
    SendFileInPieces(
        answer.head(), answer.length(), answer.tail(),
        [file, start](uint64_t offset, char* buffer, size_t count) {
            return platform::ReadFileAt(file, start + offset, buffer, count);
        },
        [channel](const std::string& bytes) { return net::SendChannel(channel, bytes) == net::kOk; });
}

}  // namespace qv::server
