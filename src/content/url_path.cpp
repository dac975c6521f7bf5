#include "content/url_path.h"

#include <algorithm>

namespace qv::content {

std::string UrlOfLine(const std::string& line, int start) {
    std::string url;
    if (start < 1) start = 1;
    if (static_cast<size_t>(start) <= line.size()) url = line.substr(static_cast<size_t>(start) - 1);

    // Everything from the first space on (the protocol version) is not part of the URL.
    const size_t space = url.find(' ');
    if (space != std::string::npos) url.erase(space);
    return url;
}

std::string MapUrl(std::string url) {
    if (url == "/" || url == "\\") url = "default.htm";
    std::replace(url.begin(), url.end(), '/', '\\');
    if (!url.empty() && url.front() == '\\') url.erase(0, 1);
    if (!url.empty() && url.back() == '\\') url += "default.htm";
    if (url.find('.') == std::string::npos) url += ".htm";
    return url;
}

std::string MapUrlToPath(const std::string& line, int start) { return MapUrl(UrlOfLine(line, start)); }

FileTarget FileTargetOf(const std::string& url) {
    FileTarget target;
    const size_t mark = url.find('?');
    const std::string name = url.substr(0, mark);
    if (mark != std::string::npos) {
        target.hasQuery = true;
        target.query = url.substr(mark + 1);
    }
    target.path = MapUrl(name);
    target.htmAdded = !name.empty() && name.find('.') == std::string::npos && name.back() != '/' &&
                      name.back() != '\\';
    return target;
}

std::string PathExtension(const std::string& path) {
    const size_t dot = path.find('.');
    const size_t begin = dot == std::string::npos ? 0 : dot + 1;
    size_t end = path.find('?', begin);
    if (end == std::string::npos) end = path.size();
    return path.substr(begin, end - begin);
}

void SplitProgramQuery(const std::string& path, std::string& query, std::string& program) {
    const size_t mark = path.find('?');
    if (mark == std::string::npos) {
        query.clear();
        program = path;
        return;
    }
    // Copy before assigning: `path` may be one of the outputs.
    std::string before = path.substr(0, mark);
    std::string after = path.substr(mark + 1);
    query = std::move(after);
    program = std::move(before);
}

}  // namespace qv::content
