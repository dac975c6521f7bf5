/*
 * A small C host of the Quorvex library (Linux).
 *
 *   quorvex-example-c PORT DIRECTORY
 *
 * Serves the files of DIRECTORY on PORT and answers every request under
 * /api/ itself, through the callback route: the library calls on_request for
 * each request that is not for a CGI program; the host posts its answer with
 * PostResponse and says "answered", or declines and the file is served.
 * Ctrl-C or SIGTERM stops it.
 */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <quorvex.h>

/* Called on the thread that loaded the library, from inside QvPumpMessages.
 * `request` is a 1,024-byte field holding the mapped path, padded with spaces;
 * WEBSRVGETREQUEST gives the same path trimmed, as a byte string. */
static int32_t QV_CALL on_request(int32_t slot, const char* peer, int32_t peer_length,
                                  const char* request, int32_t request_length) {
    (void)request;
    (void)request_length;
    QvBSTR path = WEBSRVGETREQUEST(slot);
    /* The path comes without its leading '/', with '\' between the parts:
     * "/api/time" arrives as "api\time.htm" (".htm" is added when there is no dot). */
    int ours = SysStringByteLen(path) > 4 && (memcmp(path, "api\\", 4) == 0 || memcmp(path, "api/", 4) == 0);
    if (ours) {
        char answer[1400];
        snprintf(answer, sizeof answer,
                 "<p>Answered by the C host: you asked for <code>%.*s</code> from %.*s.</p>",
                 (int)SysStringByteLen(path), path, (int)peer_length, peer);
        /* The answer is copied: it may live on the stack. */
        PostResponse(slot, answer);
    }
    /* Every string an export returns is the caller's to free. */
    SysFreeString(path);
    return ours; /* non-zero: answered; 0: the server sends the file */
}

static void on_stop_signal(int signal_number) {
    (void)signal_number;
    QvPostQuitMessage(); /* safe in a signal handler */
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PORT DIRECTORY\n", argv[0]);
        return 2;
    }
    int port = atoi(argv[1]);

    /* Directories end with their separator (the library adds it to an existing
     * directory given without it; adding it here says what is meant). Programs (cgi-bin/x.cgi and the like) run from the CGI
     * directory; here it is the document directory too. */
    char dir[4096];
    size_t length = strlen(argv[2]);
    if (length == 0 || length + 2 > sizeof dir) {
        fprintf(stderr, "directory name too long\n");
        return 2;
    }
    snprintf(dir, sizeof dir, "%s%s", argv[2], argv[2][length - 1] == '/' ? "" : "/");
    SetServerDir(dir);
    WEBSRVSETCGI(dir);
    SetServerCallback(on_request);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = on_stop_signal;
    sigaction(SIGINT, &action, NULL);
    sigaction(SIGTERM, &action, NULL);
    signal(SIGPIPE, SIG_IGN); /* a client that hangs up must not end the host */

    int32_t started = ServerStart(port);
    if (started != 0) {
        fprintf(stderr, "ServerStart(%d) failed with %d\n", port, (int)started);
        return 1;
    }
    printf("listening on port %d\n", port);
    fflush(stdout);

    /* The library's work happens in this thread's message loop. */
    while (QvPumpMessages(-1) != -1) {
    }
    ServerStop();
    return 0;
}
