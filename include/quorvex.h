/*
 * quorvex.h - the whole public interface of the Quorvex library.
 *
 * A host application loads the library (quorvex.dll on 32-bit Windows,
 * libquorvex.so on Linux) and becomes a small web server. Every export is a
 * plain C function; on Windows they use __stdcall under undecorated names.
 *
 * Text arguments are pointers to zero-terminated bytes (a null pointer is
 * empty text) and are copied during the call. Every text an export returns is
 * a new byte string (QvBSTR) owned by the caller, released with SysFreeString.
 */
#ifndef QUORVEX_H
#define QUORVEX_H

#include <stdint.h>

#ifdef _WIN32
#  include <windows.h>
#  include <wtypes.h>
#  define QV_CALL __stdcall
typedef BSTR QvBSTR;     /* a byte string made by SysAllocStringByteLen */
typedef HWND QvWindow;   /* a host window */
typedef HANDLE QvMutex;  /* a host mutex (CreateMutexA) */
#else
#  define QV_CALL
typedef char* QvBSTR;    /* 32-bit byte length before the bytes, a NUL after them */
typedef uint32_t QvWindow;  /* a window of the native message loop (QvCreateWindow) */
typedef uint32_t QvMutex;   /* a mutex of the native message loop (QvCreateMutex) */
#endif

#if defined(QUORVEX_BUILDING_LIBRARY) && !defined(_WIN32)
#  define QV_API __attribute__((visibility("default")))
#else
#  define QV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The request callback: slot index, peer address text and its length,
 * request text and its length (always 1024). Non-zero means "answered". */
typedef int32_t (QV_CALL *QvRequestCallback)(int32_t slot, const char* peer, int32_t peerLength,
                                              const char* request, int32_t requestLength);

/* The message the host window receives for each request (wParam = slot). */
#define QV_REQUEST_MESSAGE 1098

/* ---- library entry and server control ---------------------------------- */
QV_API int32_t QV_CALL LIBMAIN(void* instance, uint32_t reason, void* reserved);
QV_API int32_t QV_CALL ServerStart(int32_t port);   /* 0 started, -3 bad port, 4 cannot listen */
QV_API void    QV_CALL ServerStop(void);
QV_API int32_t QV_CALL ServerRunning(void);         /* 1 listening, else 0 */

/* ---- settings ----------------------------------------------------------- */
QV_API int32_t QV_CALL SetServerDir(const char* dir);      /* document directory; always 0 */
QV_API int16_t QV_CALL WEBSRVSETCGI(const char* dir);      /* CGI directory; always 0 */
QV_API int32_t QV_CALL WEBSRVSETWINDOW(QvWindow window);   /* 0 stored, -1 not a window */
QV_API void    QV_CALL WEBSRVCLEARWINDOW(void);
QV_API void    QV_CALL WEBSRVSETMUTEX(const QvMutex* mutex); /* by reference; 0 changes nothing */
QV_API int32_t QV_CALL SetServerCallback(QvRequestCallback callback); /* 0 stored, -2 refused */
QV_API void    QV_CALL StopServerCallback(void);
/* Content type for files ending in ".extension" (no dot, letter case ignored):
 * 0 stored, -1 refused (empty or over 32 bytes, a dot, separator or control
 * byte in the extension; a type empty, over 255 bytes or with control bytes). */
QV_API int32_t QV_CALL WEBSRVSETTYPE(const char* extension, const char* type);
/* A setting by name, its value as decimal text, taken by the next ServerStart
 * (the settings table is in the host guide): 0 set, -1 unknown name, -2 value
 * refused (out of its range, or not a number); nothing changes on a refusal. */
QV_API int32_t QV_CALL WEBSRVSETOPTION(const char* name, const char* value);

/* ---- request hand-off --------------------------------------------------- */
QV_API QvBSTR  QV_CALL WEBSRVGETREQUEST(int32_t slot);
QV_API QvBSTR  QV_CALL WEBSRVPARSE(const char* text, const char* delimiters, int32_t index);
QV_API int32_t QV_CALL PostResponse(int32_t slot, const char* answer);
QV_API int32_t QV_CALL PostResponseA(int32_t slot, QvBSTR* answer);
QV_API int32_t QV_CALL PostResponseC(int32_t slot, const char* bytes, int32_t count);
QV_API QvBSTR  QV_CALL GetString(const char* bytes, int32_t count);

/* ---- client ------------------------------------------------------------- */
QV_API QvBSTR  QV_CALL WEBResponse(const char* url, const char* user, const char* password);
QV_API QvBSTR  QV_CALL PostQuestion(const char* host, int32_t port, const char* path,
                                    const char* document, const char* query,
                                    const char* user, const char* password);

/* ---- XTEA --------------------------------------------------------------- */
QV_API QvBSTR  QV_CALL TEA_Encode(const QvBSTR* text, const char* key);
QV_API QvBSTR  QV_CALL TEA_Decode(const QvBSTR* text, const char* key);

#ifndef _WIN32
/* ---- byte strings, as OLE Automation lays them out ---------------------- */
QV_API QvBSTR   SysAllocStringByteLen(const char* bytes, uint32_t length);
QV_API uint32_t SysStringByteLen(QvBSTR text);
QV_API void     SysFreeString(QvBSTR text);

/* ---- the native message loop (stands in for the Windows one) ------------ */
typedef intptr_t (*QvWindowProc)(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
QV_API uint32_t QvCreateWindow(QvWindowProc proc);  /* owned by the calling thread; 0 on failure */
QV_API int32_t  QvDestroyWindow(uint32_t hwnd);
QV_API int32_t  QvIsWindow(uint32_t hwnd);
/* Synchronous; from another thread it waits until the owner's loop runs it. */
QV_API intptr_t QvSendMessage(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
QV_API int32_t  QvPostMessage(uint32_t hwnd, uint32_t msg, uintptr_t wParam, intptr_t lParam);
/* Runs the calling thread's loop for up to timeoutMs (-1: until a quit);
 * returns -1 once a quit was posted, else 0. */
QV_API int32_t  QvPumpMessages(int32_t timeoutMs);
/* Ends the loading thread's QvPumpMessages; safe from any thread and from a signal handler. */
QV_API void     QvPostQuitMessage(void);
QV_API uint32_t QvCreateMutex(void);                      /* recursive, owned by a thread */
QV_API int32_t  QvWaitMutex(uint32_t mutex, int32_t timeoutMs); /* 0 owned, 258 timed out */
QV_API int32_t  QvReleaseMutex(uint32_t mutex);
QV_API int32_t  QvCloseMutex(uint32_t mutex);
#endif

#ifdef __cplusplus
}
#endif

#endif /* QUORVEX_H */
