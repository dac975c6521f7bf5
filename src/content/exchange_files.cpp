#include "content/exchange_files.h"

namespace qv::content {

platform::File CreateExchangeFile(const std::string& name, int16_t /*mode*/, bool* notAPlainFile) {
    if (notAPlainFile != nullptr) *notAPlainFile = false;
    if (name.find_first_not_of(' ') == std::string::npos) return 0;
    bool refused = false;
    platform::File file = platform::CreateSharedFile(name, &refused);
    if (file != 0) {
        platform::SeekToEnd(file);
        return file;
    }
    if (refused && notAPlainFile != nullptr) *notAPlainFile = true;
    return 0;
}

void WriteHandleText(platform::File file, const std::string& text) {
    if (file == 0 || text.empty()) return;
    platform::WriteToFile(file, text.data(), text.size());
}

void WriteHandleLine(platform::File file, const std::string& text) { WriteHandleText(file, text + "\r\n"); }

std::string ReadHandleText(platform::File file) {
    if (file == 0) return std::string();
    std::string text(kExchangeReadLimit, '\0');
    long got = platform::ReadFileAt(file, 0, &text[0], text.size());
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void CloseFileHandle(platform::File file) {
    if (file != 0) platform::CloseFile(file);
}

}  // namespace qv::content
