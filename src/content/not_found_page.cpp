#include "content/not_found_page.h"

namespace qv::content {

namespace {

const char* const kPageLines[] = {
    "<html>",
    "",
    "<head>",
    "<style>",
    "a:link {font:8pt/11pt verdana; color:red; text-decoration:none}",
    "a:visited {font:8pt/11pt verdana; color:red; text-decoration:none}",
    "a:hover {font:8pt/11pt verdana; color:red; text-decoration:underline}",
    "</style>",
    "<meta HTTP-EQUIV=\"Content-Type\" Content=\"text-html; charset=Windows-1252\">",
    "<title>HTTP 404 Not Found</title>",
    "</head>",
    "",
    "<body bgcolor=\"#0000FF\" text=\"#FFFF00\">",
    "<h1 align=\"center\">Dravenholt</h1>",
    "<h1 align=\"center\">Software</p>  </p></h1>",
    "<p align=\"center\"><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"4\"><b>"
    "<font color=\"#FFFFFF\">The requested page not found. </font></b></font></p>",
    "<p>  </p>",
    "<p><font face=\"Verdana, Arial, Helvetica, sans-serif\" size=\"2\">The page you are",
    "  looking for does not exist or unavailable at the moment",
    "</font></p>",
    "<p align=\"center\"> </p>",
    "<p align=\"center\"><font size=\"6\" face=\"Verdana, Arial, Helvetica, sans-serif\" "
    "color=\"#FF0000\"><i><font color=\"#FF0000\">HTTP",
    "  404 - File not found</font></i></font></p>",
    "</body>",
    "</html>",
};

}  // namespace

std::string BuildNotFoundPage() {
    std::string page;
    page.reserve(1200);
    for (const char* line : kPageLines) {
        page += line;
        page += "\r\n";
    }
    return page;
}

}  // namespace qv::content
