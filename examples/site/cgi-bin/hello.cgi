#!/bin/sh
# The example CGI program. The server puts its own header before this output,
# so only the HTML page is printed. The environment the server gives holds no
# PATH: set one for the commands below without passing it on.
PATH=/usr/bin:/bin

escape() {
    printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'
}

read -r first_line || true
first_line=$(printf '%s' "$first_line" | tr -d '\r')

cat <<PAGE
<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>Hello from a CGI program</title></head>
<body style="font-family: sans-serif; max-width: 46em; margin: 2em auto; line-height: 1.5">
<h1>Hello from hello.cgi</h1>
<p>QUERY_STRING: <code>$(escape "${QUERY_STRING-}")</code></p>
<p>First line of standard input: <code>$(escape "$first_line")</code></p>
<p>Method: <code>$(escape "${REQUEST_METHOD-}")</code>; working directory: <code>$(escape "$(pwd)")</code></p>
<h2>Environment, in the order the program received it</h2>
<pre>
PAGE
# The program's own starting environment, exactly as given (the shell adds none of its variables here).
tr '\000' '\n' < /proc/$$/environ | while IFS= read -r entry; do escape "$entry"; echo; done
cat <<PAGE
</pre>
<p><a href="/default.htm">Back to the home page</a></p>
</body>
</html>
PAGE
