#include "recording_server.h"

#include <cctype>
#include <chrono>

namespace qvtest {

namespace {

constexpr size_t kMostRequestBytes = 64 * 1024;
constexpr int kRequestTimeoutMs = 10000;

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

RecordedRequest Parse(const std::string& bytes) {
    RecordedRequest request;
    request.bytes = bytes;
    size_t lineStart = 0;
    bool first = true;
    while (lineStart < bytes.size()) {
        size_t lineEnd = bytes.find("\r\n", lineStart);
        if (lineEnd == std::string::npos) lineEnd = bytes.size();
        const std::string line = bytes.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 2;
        if (first) {
            first = false;
            request.requestLine = line;
            const size_t space = line.find(' ');
            if (space != std::string::npos) {
                const size_t secondSpace = line.find(' ', space + 1);
                request.target = line.substr(space + 1, secondSpace == std::string::npos
                                                            ? std::string::npos
                                                            : secondSpace - space - 1);
            }
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string name = Lower(Trimmed(line.substr(0, colon)));
        const std::string value = Trimmed(line.substr(colon + 1));
        if (name == "user-agent") request.userAgent = value;
        if (name == "authorization") request.authorization = value;
    }
    return request;
}

const char* Reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 302: return "Found";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

std::string Response(int status, const std::string& extraFields, const std::string& body,
                     bool announceClose = true) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" + extraFields +
           "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body.size()) +
           (announceClose ? "\r\nConnection: close" : "") + "\r\n\r\n" + body;
}

}  // namespace

const char RecordingServer::kChallengeBody[] = "authorization required";

RecordingServer::RecordingServer(RecordingServerAnswer answer) : answer_(std::move(answer)) {
    listening_ = loopback::Listen(port_);
    if (listening_ != kNoSocket) thread_ = std::thread([this] { Serve(); });
}

RecordingServer::~RecordingServer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listening_ != kNoSocket) loopback::Close(listening_);
}

std::string RecordingServer::Url(const std::string& target) const {
    return "http://127.0.0.1:" + std::to_string(port_) + target;
}

std::vector<RecordedRequest> RecordingServer::Requests() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void RecordingServer::Serve() {
    while (!stopping_) {
        if (!loopback::Readable(listening_, 50)) continue;
        const Socket connection = loopback::Accept(listening_);
        if (connection == kNoSocket) continue;
        Answer(connection);
        loopback::Close(connection);
    }
}

void RecordingServer::Answer(Socket connection) {
    std::string bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRequestTimeoutMs);
    char buffer[4096];
    size_t end = std::string::npos;
    while ((end = bytes.find("\r\n\r\n")) == std::string::npos && bytes.size() < kMostRequestBytes &&
           !stopping_ && std::chrono::steady_clock::now() < deadline) {
        if (!loopback::Readable(connection, 50)) continue;
        const long n = loopback::Receive(connection, buffer, sizeof buffer);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    if (end == std::string::npos) return;  // no whole request: nothing to answer
    const RecordedRequest request = Parse(bytes.substr(0, end + 4));
    {
        std::lock_guard<std::mutex> hold(lock_);
        requests_.push_back(request);
    }
    if (!answer_.withoutStatusLine.empty()) {
        loopback::SendAll(connection, answer_.withoutStatusLine);
    } else if (answer_.challengeWithoutAuthorization && request.authorization.empty()) {
        loopback::SendAll(connection, Response(401, "WWW-Authenticate: Basic realm=\"x\"\r\n", kChallengeBody));
    } else if (!answer_.redirectFrom.empty() && request.target == answer_.redirectFrom) {
        const bool whole = answer_.redirectTo.compare(0, 7, "http://") == 0;
        const std::string location = whole ? answer_.redirectTo : Url(answer_.redirectTo);
        loopback::SendAll(connection, Response(302, "Location: " + location + "\r\n", "moved"));
    } else {
        loopback::SendAll(connection,
                          Response(answer_.status, "", answer_.body, answer_.announceClose) + answer_.trailing);
    }
}

uint16_t RefusingPort() {
    uint16_t port = 0;
    const loopback::Socket socket = loopback::Listen(port);
    if (socket != RecordingServer::kNoSocket) loopback::Close(socket);
    return port;
}

}  // namespace qvtest
