// The values a program finds in its environment: what the request and the
// server know, in the 37 entries whose names and order stay as they are.
#include <filesystem>
#include <string>
#include <vector>

#include "server_fixture.h"

namespace {

namespace fs = std::filesystem;

class ProgramEnvironment : public qvtest::PageServerFixture {
protected:
    // The "X-Env: NAME=value" fields of the answer's header (cgi_environ), in order.
    static std::vector<std::string> Entries(const std::string& answer) {
        std::vector<std::string> entries;
        const std::string header = answer.substr(0, answer.find("\r\n\r\n") + 2);
        const std::string field = "\r\nX-Env: ";
        for (size_t at = header.find(field); at != std::string::npos; at = header.find(field, at + 1)) {
            const size_t begin = at + field.size();
            entries.push_back(header.substr(begin, header.find("\r\n", begin) - begin));
        }
        return entries;
    }

    static bool Has(const std::vector<std::string>& entries, const std::string& wanted) {
        for (const std::string& entry : entries) {
            if (entry == wanted) return true;
        }
        return false;
    }
};

TEST_F(ProgramEnvironment, ValuesTheRequestAndTheServerKnow) {
    const std::string ending = qvtest::ProgramSuffix().empty() ? ".cgi" : ".exe";
    const std::string program = InstallProgram("cgi_environ", "env");
    fs::create_directories(root_ / "cgi" / "sub");
    InstallProgram("cgi_environ", "my env", root_ / "cgi" / "sub");
    const std::string port = "SERVER_PORT=" + std::to_string(port_);
    struct Case {
        const char* what;
        std::string request;
        std::vector<std::string> entries;
    } cases[] = {
        {"GET, HTTP/1.0", "GET /" + program + "?a=%41+b%zz HTTP/1.0\r\n\r\n",
         {"REQUEST_METHOD=GET", "QUERY_STRING=a=%41+b%zz", "QUERY_STRINGUNESCAPTED=a=A+b%zz",
          "SERVER_PROTOCOL=HTTP/1.0", "SCRIPT_NAME=/" + program, "DOCUMENT=" + program, "DOCUMENT_URI=/" + program}},
        {"HEAD, HTTP/1.1", "HEAD /" + program + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n",
         {"REQUEST_METHOD=HEAD", "SERVER_PROTOCOL=HTTP/1.1", "QUERY_STRINGUNESCAPTED="}},
        {"PUT", "PUT /" + program + " HTTP/1.0\r\n\r\n", {"REQUEST_METHOD=PUT", "SERVER_PROTOCOL=HTTP/1.0"}},
        {"POST, HTTP/1.1", "POST /" + program + " HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 8\r\n\r\nq=%7E1\r\n",
         {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1", "QUERY_STRING=q=%7E1", "QUERY_STRINGUNESCAPTED=q=~1"}},
        {"decoded name below a folder", "GET /sub/my%20env" + ending + " HTTP/1.0\r\n\r\n",
         {"SCRIPT_NAME=/sub/my env" + ending, "DOCUMENT=my env" + ending, "DOCUMENT_URI=/sub/my env" + ending}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string answer = AskWhole(c.request);
        const std::vector<std::string> entries = Entries(answer);
        ASSERT_EQ(entries.size(), 40u) << answer.substr(0, 300);
        for (const std::string& wanted : c.entries) EXPECT_TRUE(Has(entries, wanted)) << wanted;
        // Whatever the request.
        EXPECT_TRUE(Has(entries, "GATEWAY_INTERFACE=CGI/1.1"));
        EXPECT_TRUE(Has(entries, port));
        // Both SCRIPT_NAME entries carry the name.
        EXPECT_EQ(entries[13], entries[35]);
        EXPECT_NE(entries[13], "SCRIPT_NAME=");
    }
}

// The 37 names in their order, the duplicate included, then the three after them.
TEST_F(ProgramEnvironment, NamesAndOrderStay) {
    const std::string program = InstallProgram("cgi_environ", "env");
    const char* const names[] = {
        "REQUEST_METHOD", "QUERY_STRING", "QUERY_STRINGUNESCAPTED", "AUTH_TYPE", "REMOTE_ADDRESS", "REMOTE_HOST",
        "SERVER_SOFTWARE", "SERVER_NAME", "GATEWAY_INTERFACE", "SERVER_PROTOCOL", "SERVER_PORT", "PATH_INFO",
        "PATH_TRANSLATED", "SCRIPT_NAME", "REMOTE_USER", "REMOTE_IDENT", "HTTP_ACCEPT", "HTTP_ACCEPT_CHARSET",
        "HTTP_ACCEPT_ENCODING", "HTTP_ACCEPT_LANGUAGE", "HTTP_USER_AGENT", "HTTP_REFERER", "HTTP_CONNECTION",
        "HTTP_FROM", "HTTP_COOKIE", "HTTP_HOST", "HTTP_PRAGMA", "HTTPS", "DOCUMENT", "DOCUMENT_URI", "DATE_GMT",
        "DATE_LOCAL", "LAST_MODIFIED", "LOCAL_ADDR", "LOGON_USER", "SCRIPT_NAME", "SERVER_PORT_SECURE",
        "CONTENT_LENGTH", "CONTENT_TYPE", "REMOTE_ADDR",
    };
    const std::vector<std::string> entries = Entries(AskWhole("GET /" + program + "?x HTTP/1.0\r\n\r\n"));
    ASSERT_EQ(entries.size(), 40u);
    for (size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].substr(0, entries[i].find('=')), names[i]) << "entry " << i + 1;
    }
}

}  // namespace
