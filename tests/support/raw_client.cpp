#include "raw_client.h"

namespace qvtest {

std::vector<std::string> SplitIntoPieces(const std::string& text, int count) {
    if (count < 1) count = 1;
    std::vector<std::string> pieces;
    const size_t total = text.size();
    size_t start = 0;
    for (int i = 0; i < count; ++i) {
        // Spread the remainder over the first pieces so lengths differ by at most one.
        size_t length = total / count + (static_cast<size_t>(i) < total % count ? 1 : 0);
        pieces.push_back(text.substr(start, length));
        start += length;
    }
    return pieces;
}

Exchange Talk(const std::string& address, uint16_t port, const std::string& request,
              int timeoutMs, int pieces, int pauseMs) {
    if (pieces <= 1) return TalkInPieces(address, port, {request}, 0, timeoutMs);
    return TalkInPieces(address, port, SplitIntoPieces(request, pieces), pauseMs, timeoutMs);
}

}  // namespace qvtest
