#!/bin/sh
# The example sign-in program: answers with a header block of its own, as
# CGI programs do to redirect after a form and to start a session. The
# server makes the answer from it: 302 to the Location, both cookies passed on.
printf 'Status: 302 Found\r\n'
printf 'Location: /cgi-bin/hello.cgi?signed=in\r\n'
printf 'Set-Cookie: sid=abc123; Path=/\r\n'
printf 'Set-Cookie: theme=green; Path=/\r\n'
printf 'Content-Type: text/html\r\n'
printf '\r\n'
printf '<p>Signed in: <a href="/cgi-bin/hello.cgi?signed=in">go on</a></p>\n'
