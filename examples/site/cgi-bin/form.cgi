#!/bin/sh
# The example form program: shows a posted body as it arrived. The server
# gives the whole body on standard input (followed by CR LF) and its length
# and type in CONTENT_LENGTH and CONTENT_TYPE.
PATH=/usr/bin:/bin

escape() {
    sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g'
}

cat <<PAGE
<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>What the form sent</title></head>
<body style="font-family: sans-serif; max-width: 46em; margin: 2em auto; line-height: 1.5">
<h1>What the form sent</h1>
<p>Method: <code>${REQUEST_METHOD-}</code>; length: <code id="length">${CONTENT_LENGTH-}</code></p>
<p>Type: <code id="type">$(printf '%s' "${CONTENT_TYPE-}" | escape)</code></p>
<pre id="body">
PAGE
# Exactly CONTENT_LENGTH bytes are the body; the line end after them is the server's.
head -c "${CONTENT_LENGTH:-0}" | escape
cat <<PAGE
</pre>
<p><a href="/modern.htm">Back to the forms</a></p>
</body>
</html>
PAGE
