#include "content/busy_page.h"

namespace qv::content {

namespace {

const char* const kPageLines[] = {
    "<html>",
    "",
    "<head>",
    "<meta HTTP-EQUIV=\"Content-Type\" Content=\"text-html; charset=Windows-1252\">",
    "<title>HTTP 503 Service Unavailable</title>",
    "</head>",
    "",
    "<body bgcolor=\"#0000FF\" text=\"#FFFF00\">",
    "<p align=\"center\"><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"4\"><b>"
    "<font color=\"#FFFFFF\">The server is busy. </font></b></font></p>",
    "<p><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">Every connection is taken;",
    "  please try again in a moment.",
    "</font></p>",
    "<p align=\"center\"><font size=\"6\" face=\"Verdana, Arial, Helvetica, sans-serif\" "
    "color=\"#FF0000\"><i>HTTP 503 - Service unavailable</i></font></p>",
    "</body>",
    "</html>",
};

}  // namespace

std::string BuildBusyPage() {
    std::string page;
    for (const char* line : kPageLines) {
        page += line;
        page += "\r\n";
    }
    return page;
}

}  // namespace qv::content
