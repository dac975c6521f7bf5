/* The practical limit for one connection per request on loopback: one
 * thread, a blocking accept, one read, a fixed answer, close.
 *
 *   ceiling PORT page         a fixed 1 KB page
 *   ceiling PORT file PATH    the bytes of PATH, read once at start
 *   ceiling PORT cgi PROGRAM  PROGRAM run per request (posix_spawn, its
 *                             output to a temporary file), that file sent
 */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

static char *answer;
static size_t answerSize;

static void SendAll(int fd, const char *data, size_t size) {
    while (size > 0) {
        ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return;
        data += sent;
        size -= (size_t)sent;
    }
}

static char *Header(size_t length, int *headerLength) {
    static char header[256];
    *headerLength = snprintf(header, sizeof header,
                             "HTTP/1.0 200 OK\r\nServer: ceiling\r\nContent-Type: text/html\r\n"
                             "Content-Length: %zu\r\n\r\n",
                             length);
    return header;
}

static void FixedAnswer(const char *body, size_t length) {
    int headerLength;
    char *header = Header(length, &headerLength);
    answerSize = (size_t)headerLength + length;
    answer = malloc(answerSize);
    memcpy(answer, header, (size_t)headerLength);
    memcpy(answer + headerLength, body, length);
}

static void RunProgram(int client, const char *program) {
    char name[] = "/tmp/ceiling-cgi-XXXXXX";
    int out = mkstemp(name);
    if (out < 0) return;
    unlink(name);
    /* posix_spawn forks the cheap way (vfork-like), as any careful server would. */
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    char *args[] = {(char *)program, NULL};
    extern char **environ;
    pid_t pid;
    int status;
    if (posix_spawn(&pid, program, &actions, NULL, args, environ) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    off_t size = lseek(out, 0, SEEK_END);
    char *body = malloc(size > 0 ? (size_t)size : 1);
    ssize_t got = size > 0 ? pread(out, body, (size_t)size, 0) : 0;
    close(out);
    if (got < 0) got = 0;
    int headerLength;
    char *header = Header((size_t)got, &headerLength);
    char *whole = malloc((size_t)headerLength + (size_t)got);
    memcpy(whole, header, (size_t)headerLength);
    memcpy(whole + headerLength, body, (size_t)got);
    SendAll(client, whole, (size_t)headerLength + (size_t)got);
    free(whole);
    free(body);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: ceiling PORT page|file PATH|cgi PROGRAM\n");
        return 2;
    }
    const char *mode = argv[2];
    const char *program = NULL;
    if (strcmp(mode, "page") == 0) {
        char body[1024];
        memset(body, 'x', sizeof body);
        FixedAnswer(body, sizeof body);
    } else if (strcmp(mode, "file") == 0 && argc > 3) {
        FILE *f = fopen(argv[3], "rb");
        if (!f) return 1;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        fseek(f, 0, SEEK_SET);
        char *body = malloc((size_t)size);
        if (fread(body, 1, (size_t)size, f) != (size_t)size) return 1;
        fclose(f);
        FixedAnswer(body, (size_t)size);
    } else if (strcmp(mode, "cgi") == 0 && argc > 3) {
        program = argv[3];
    } else {
        return 2;
    }

    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    struct sockaddr_in address;
    memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons((unsigned short)atoi(argv[1]));
    if (bind(listener, (struct sockaddr *)&address, sizeof address) != 0 || listen(listener, SOMAXCONN) != 0) {
        perror("ceiling");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    char request[4096];
    for (;;) {
        int client = accept(listener, NULL, NULL);
        if (client < 0) continue;
        if (recv(client, request, sizeof request, 0) > 0) {
            if (program)
                RunProgram(client, program);
            else
                SendAll(client, answer, answerSize);
        }
        close(client);
    }
}
