// The exchange files through which a CGI program gets its input and returns
// its output: created empty with handles a child process inherits.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace qv::content {

constexpr int16_t kExchangeWriteMode = 0;
constexpr size_t kExchangeReadLimit = 10000;

// Creates (or truncates) `name` for reading and writing, positioned at its
// end; one attempt, 0 when it fails (the program route tries again later,
// without waiting here). A blank name gives 0. A link, a directory or
// anything else than a plain file at the name is never written through: 0,
// with `notAPlainFile` set (when given).
platform::File CreateExchangeFile(const std::string& name, int16_t mode, bool* notAPlainFile = nullptr);
// Writes the whole text at the file position in one write; unlike a fixed
// 1024-byte staging buffer, text longer than 1023 bytes is written whole.
void WriteHandleText(platform::File file, const std::string& text);
// The text followed by CR LF.
void WriteHandleLine(platform::File file, const std::string& text);
// At most the first 10000 bytes of the file, read from offset 0 whatever the
// file position; empty when the read fails.
std::string ReadHandleText(platform::File file);
void CloseFileHandle(platform::File file);

}  // namespace qv::content
