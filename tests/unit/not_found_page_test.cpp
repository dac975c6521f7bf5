// The built-in not-found page, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "content/not_found_page.h"

namespace {

const char kExpectedPage[] =
    "<html>\r\n"
    "\r\n"
    "<head>\r\n"
    "<style>\r\n"
    "a:link {font:8pt/11pt verdana; color:red; text-decoration:none}\r\n"
    "a:visited {font:8pt/11pt verdana; color:red; text-decoration:none}\r\n"
    "a:hover {font:8pt/11pt verdana; color:red; text-decoration:underline}\r\n"
    "</style>\r\n"
    R"(<meta HTTP-EQUIV="Content-Type" Content="text-html; charset=Windows-1252">)" "\r\n"
    "<title>HTTP 404 Not Found</title>\r\n"
    "</head>\r\n"
    "\r\n"
    R"(<body bgcolor="#0000FF" text="#FFFF00">)" "\r\n"
    R"(<h1 align="center">Dravenholt</h1>)" "\r\n"
    R"(<h1 align="center">Software</p>  </p></h1>)" "\r\n"
    R"(<p align="center"><font face="Verdana, Arial, Helvetica, sans-serif" size="4"><b><font color="#FFFFFF">The requested page not found. </font></b></font></p>)" "\r\n"
    "<p>  </p>\r\n"
    R"(<p><font face="Verdana, Arial, Helvetica, sans-serif" size="2">The page you are)" "\r\n"
    "  looking for does not exist or unavailable at the moment\r\n"
    "</font></p>\r\n"
    R"(<p align="center"> </p>)" "\r\n"
    R"(<p align="center"><font size="6" face="Verdana, Arial, Helvetica, sans-serif" color="#FF0000"><i><font color="#FF0000">HTTP)" "\r\n"
    "  404 - File not found</font></i></font></p>\r\n"
    "</body>\r\n"
    "</html>\r\n";

TEST(NotFoundPage, ByteForByte) {
    EXPECT_EQ(qv::content::BuildNotFoundPage(), std::string(kExpectedPage));
}

TEST(NotFoundPage, ShapeOfThePage) {
    const std::string page = qv::content::BuildNotFoundPage();
    EXPECT_EQ(page.compare(0, 10, "<html>\r\n\r\n"), 0);
    const std::string tail = "</body>\r\n</html>\r\n";
    ASSERT_GE(page.size(), tail.size());
    EXPECT_EQ(page.substr(page.size() - tail.size()), tail);
    size_t lines = 0;
    for (size_t at = page.find("\r\n"); at != std::string::npos; at = page.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 25u);
    for (unsigned char c : page) EXPECT_LT(c, 128u);
    EXPECT_EQ(page.find('\n'), page.find("\r\n") + 1);  // no bare line feeds
    EXPECT_EQ(qv::content::BuildNotFoundPage(), page);
}

}  // namespace
