#include "server/request_body.h"

#include <vector>

namespace qv::server {
namespace {

constexpr size_t kCopyPiece = 65536;

}  // namespace

bool RequestBody::Append(const char* bytes, size_t count) {
    if (head_.size() < kInMemory) {
        const size_t room = kInMemory - head_.size();
        const size_t taken = count < room ? count : room;
        head_.append(bytes, taken);
        bytes += taken;
        count -= taken;
    }
    if (count == 0) return true;
    if (!rest_) {
        auto spool = std::make_shared<Spool>();
        spool->file = platform::CreateTemporaryFile();
        if (spool->file == 0) return false;
        rest_ = std::move(spool);
    }
    // Reads back (Whole, CopyTo) may have moved the file position on some systems.
    platform::SeekToEnd(rest_->file);
    if (!platform::AppendToFile(rest_->file, bytes, count)) return false;
    restSize_ += count;
    return true;
}

std::string RequestBody::Whole() const {
    std::string whole = head_;
    if (!rest_) return whole;
    whole.resize(head_.size() + restSize_);
    uint64_t done = 0;
    while (done < restSize_) {
        const long got = platform::ReadFileAt(rest_->file, done, &whole[head_.size() + done],
                                              static_cast<size_t>(restSize_ - done));
        if (got <= 0) break;
        done += static_cast<uint64_t>(got);
    }
    whole.resize(head_.size() + done);
    return whole;
}

bool RequestBody::CopyTo(platform::File file) const {
    if (!head_.empty() && !platform::AppendToFile(file, head_.data(), head_.size())) return false;
    if (!rest_) return true;
    std::vector<char> piece(kCopyPiece);
    for (uint64_t done = 0; done < restSize_;) {
        const size_t want = restSize_ - done < kCopyPiece ? static_cast<size_t>(restSize_ - done) : kCopyPiece;
        const long got = platform::ReadFileAt(rest_->file, done, piece.data(), want);
        if (got <= 0 || !platform::AppendToFile(file, piece.data(), static_cast<size_t>(got))) return false;
        done += static_cast<uint64_t>(got);
    }
    return true;
}

void RequestBody::Clear() {
    head_.clear();
    rest_.reset();
    restSize_ = 0;
}

}  // namespace qv::server
