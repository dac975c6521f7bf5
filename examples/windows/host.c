/*
 * A small Windows host of the Quorvex library.
 *
 *   quorvex-example-windows PORT DIRECTORY
 *
 * Loads quorvex.dll at run time and finds each export by name, as a host
 * written in any language does. Serves the files of DIRECTORY on PORT and
 * answers every request under /api/ itself, through the window route: the
 * library sends the request message to this program's window for each request
 * that is not for a CGI program; the window procedure posts its answer with
 * PostResponse and returns non-zero, or returns 0 and the file is served.
 * Ctrl-C stops it.
 */
#include <windows.h>
#include <oleauto.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <quorvex.h>

/* The exports used here, with their widths and __stdcall (QV_CALL). */
typedef int32_t(QV_CALL* SetDirectoryFn)(const char* dir);
typedef int16_t(QV_CALL* SetCgiFn)(const char* dir);
typedef int32_t(QV_CALL* SetWindowFn)(HWND window);
typedef int32_t(QV_CALL* StartFn)(int32_t port);
typedef void(QV_CALL* StopFn)(void);
typedef BSTR(QV_CALL* GetRequestFn)(int32_t slot);
typedef int32_t(QV_CALL* PostResponseFn)(int32_t slot, const char* answer);

static GetRequestFn get_request;
static PostResponseFn post_response;
static DWORD loop_thread;

/* The library calls this with SendMessage on this thread, inside the loop below. */
static LRESULT CALLBACK host_window(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != QV_REQUEST_MESSAGE) return DefWindowProcA(window, message, wParam, lParam);

    int32_t slot = (int32_t)wParam;
    /* The mapped path, e.g. "api\time.htm" for /api/time; a byte string (BSTR)
     * holding bytes, which the caller frees with SysFreeString. */
    BSTR path = get_request(slot);
    const char* bytes = (const char*)path;
    UINT length = SysStringByteLen(path);
    int ours = length > 4 && (memcmp(bytes, "api\\", 4) == 0 || memcmp(bytes, "api/", 4) == 0);
    if (ours) {
        char answer[1200];
        snprintf(answer, sizeof answer, "<p>Answered by the Windows host: you asked for <code>%.*s</code>.</p>",
                 (int)length, bytes);
        post_response(slot, answer); /* copied by the library */
    }
    SysFreeString(path);
    return ours; /* non-zero: answered with the posted text; 0: the server sends the file */
}

static BOOL WINAPI on_console_control(DWORD event) {
    (void)event;
    PostThreadMessageA(loop_thread, WM_QUIT, 0, 0);
    return TRUE;
}

/* An export by name, or exit with a message naming it. */
static FARPROC find_export(HMODULE library, const char* name) {
    FARPROC function = GetProcAddress(library, name);
    if (function == NULL) {
        fprintf(stderr, "quorvex.dll has no export %s\n", name);
        exit(1);
    }
    return function;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s PORT DIRECTORY\n", argv[0]);
        return 2;
    }
    int port = atoi(argv[1]);
    /* Directories end with their separator (the library adds it to an existing
     * directory given without it; adding it here says what is meant). */
    char dir[MAX_PATH + 2];
    size_t length = strlen(argv[2]);
    if (length == 0 || length > MAX_PATH) {
        fprintf(stderr, "bad directory name\n");
        return 2;
    }
    snprintf(dir, sizeof dir, "%s%s", argv[2], argv[2][length - 1] == '\\' ? "" : "\\");

    /* The library's own window belongs to the thread that loads it: this one,
     * which also runs the message loop. */
    HMODULE library = LoadLibraryA("quorvex.dll");
    if (library == NULL) {
        fprintf(stderr, "cannot load quorvex.dll (error %lu)\n", GetLastError());
        return 1;
    }
    SetDirectoryFn set_server_dir = (SetDirectoryFn)(void*)find_export(library, "SetServerDir");
    SetCgiFn set_cgi = (SetCgiFn)(void*)find_export(library, "WEBSRVSETCGI");
    SetWindowFn set_window = (SetWindowFn)(void*)find_export(library, "WEBSRVSETWINDOW");
    StartFn server_start = (StartFn)(void*)find_export(library, "ServerStart");
    StopFn server_stop = (StopFn)(void*)find_export(library, "ServerStop");
    get_request = (GetRequestFn)(void*)find_export(library, "WEBSRVGETREQUEST");
    post_response = (PostResponseFn)(void*)find_export(library, "PostResponse");

    /* A hidden window of our own to receive the request message. */
    WNDCLASSA window_class;
    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = host_window;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "QuorvexExampleHost";
    if (!RegisterClassA(&window_class)) return 1;
    HWND window = CreateWindowA("QuorvexExampleHost", "Quorvex example host", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                NULL, window_class.hInstance, NULL);
    if (window == NULL) return 1;

    set_server_dir(dir);
    set_cgi(dir);
    if (set_window(window) != 0) {
        fprintf(stderr, "WEBSRVSETWINDOW refused the window\n");
        return 1;
    }
    int32_t started = server_start(port);
    if (started != 0) {
        fprintf(stderr, "ServerStart(%d) failed with %d\n", port, (int)started);
        return 1;
    }

    loop_thread = GetCurrentThreadId();
    MSG message;
    PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE); /* makes the queue before Ctrl-C can post to it */
    SetConsoleCtrlHandler(on_console_control, TRUE);
    printf("listening on port %d\n", port);
    fflush(stdout);

    /* The standard loop: it also runs the library's socket notifications. */
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    server_stop();
    DestroyWindow(window);
    FreeLibrary(library);
    return 0;
}
