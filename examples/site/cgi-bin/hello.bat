@echo off
rem The example CGI program for Windows hosts, twin of hello.cgi. The server
rem puts its own header before this output, so only the HTML page is printed.
rem The query arrives in QUERY_STRING and on standard input, never on the
rem command line. "set NAME" prints a variable without cmd reading its value
rem as commands, which %NAME% would do: a query is the client's text.
echo ^<!DOCTYPE html^>
echo ^<html^>
echo ^<head^>^<meta charset="utf-8"^>^<title^>Hello from a CGI program^</title^>^</head^>
echo ^<body style="font-family: sans-serif; max-width: 46em; margin: 2em auto; line-height: 1.5"^>
echo ^<h1^>Hello from hello.bat^</h1^>
echo ^<p^>The query:^</p^>
echo ^<pre^>
set QUERY_STRING
echo ^</pre^>
echo ^<h2^>Environment, as the program received it^</h2^>
echo ^<pre^>
set
echo ^</pre^>
echo ^<p^>^<a href="/default.htm"^>Back to the home page^</a^>^</p^>
echo ^</body^>
echo ^</html^>
