// A program's POST body as the server keeps it: the first bytes in memory,
// the rest (when it is longer) in a temporary file of its own, so that what a
// connection holds in memory does not grow with what its client posts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace qv::server {

class RequestBody {
public:
    // The bytes kept in memory; the rest goes to the file.
    static constexpr size_t kInMemory = 16384;

    // Adds bytes at the end; false when they could not be kept (no file could
    // be made, or the disk refused them), and nothing more is kept then.
    bool Append(const char* bytes, size_t count);
    uint64_t size() const { return head_.size() + restSize_; }
    bool empty() const { return size() == 0; }
    // The first bytes (all of them when the body is short).
    const std::string& head() const { return head_; }
    // The bytes after head(), from offset 0; 0 when there are none.
    platform::File rest() const { return rest_ ? rest_->file : 0; }
    // Every byte, read back (for short bodies, and for tests).
    std::string Whole() const;
    // Writes every byte to `file` at its position; false when a write failed.
    bool CopyTo(platform::File file) const;
    void Clear();

    bool operator==(const RequestBody& other) const { return Whole() == other.Whole(); }

private:
    struct Spool {
        platform::File file = 0;
        ~Spool() {
            if (file != 0) platform::CloseFile(file);
        }
    };
    std::string head_;
    // Shared by the copies of a request; closed (and gone) with the last.
    std::shared_ptr<Spool> rest_;
    uint64_t restSize_ = 0;
};

}  // namespace qv::server
