// An answer as the pieces that go out on a connection, in order: bytes held in
// memory, then optionally a stretch of an open file, then closing bytes. The
// routes compose answers; how and when the pieces reach the client is the
// connection's business.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace qv::server {

class Answer {
public:
    Answer() = default;
    // Bytes alone, sent as they are.
    explicit Answer(std::string bytes) : head_(std::move(bytes)) {}
    // `head`, then `length` bytes of `file` from `offset`, then `tail`. The
    // answer owns the file from here on and closes it when done with it.
    Answer(std::string head, platform::File file, uint64_t offset, uint64_t length, std::string tail)
        : head_(std::move(head)), file_(file), offset_(offset), length_(length), tail_(std::move(tail)) {}
    ~Answer() { CloseFile(); }
    Answer(Answer&& other) noexcept { *this = std::move(other); }
    Answer& operator=(Answer&& other) noexcept {
        if (this != &other) {
            CloseFile();
            head_ = std::move(other.head_);
            tail_ = std::move(other.tail_);
            file_ = other.file_;
            offset_ = other.offset_;
            length_ = other.length_;
            openLater_ = other.openLater_;
            other.file_ = 0;
            other.length_ = 0;
        }
        return *this;
    }
    // Not an answer yet: the file exists but is locked for now, and opening it
    // is to be tried again a little later.
    static Answer OpenLater() {
        Answer answer;
        answer.openLater_ = true;
        return answer;
    }
    bool openLater() const { return openLater_; }

    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    const std::string& head() const { return head_; }
    const std::string& tail() const { return tail_; }
    platform::File file() const { return file_; }
    uint64_t offset() const { return offset_; }
    uint64_t length() const { return length_; }
    bool empty() const { return head_.empty() && file_ == 0 && tail_.empty(); }

    // The head replaced (a header line added); the rest stays.
    void SetHead(std::string head) { head_ = std::move(head); }
    // The last `count` bytes removed: from the closing bytes, then the file's
    // stretch, then the head.
    void CutEnd(uint64_t count) {
        const uint64_t fromTail = count < tail_.size() ? count : tail_.size();
        tail_.resize(tail_.size() - static_cast<size_t>(fromTail));
        count -= fromTail;
        const uint64_t fromFile = count < length_ ? count : length_;
        length_ -= fromFile;
        count -= fromFile;
        head_.resize(count < head_.size() ? head_.size() - static_cast<size_t>(count) : 0);
    }

    // Keeps the status and header lines only (for HEAD): the file and the
    // closing bytes are dropped.
    void DropBody() {
        CloseFile();
        length_ = 0;
        tail_.clear();
    }

private:
    void CloseFile() {
        if (file_ != 0) platform::CloseFile(file_);
        file_ = 0;
    }

    std::string head_;
    platform::File file_ = 0;
    uint64_t offset_ = 0;
    uint64_t length_ = 0;
    std::string tail_;
    bool openLater_ = false;
};

}  // namespace qv::server
