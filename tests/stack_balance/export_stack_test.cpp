// A 32-bit host that calls every export of quorvex.dll through GetProcAddress
// with the signature quorvex.h declares for it, and checks that each call
// leaves the stack pointer where it found it.
//
// A __stdcall function removes its own arguments from the stack on return. A
// host built against quorvex.h pushes exactly the arguments the header lists;
// if the DLL's function takes a different number, or uses another convention
// (the caller-cleans one, say), the host's stack pointer is off by some bytes
// after the call, and the host soon crashes far from the cause. Each call here
// goes through a small assembly routine that pushes the arguments, calls, and
// measures the stack pointer after the return before putting it right.
//
// The exports called are compared with the .def file's names, so an export
// added to the DLL without a call here fails the test.
//
// Usage: export_stack_test DEF_FILE   (run where quorvex.dll can be loaded)
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include <quorvex.h>

static_assert(sizeof(void*) == 4, "the stack check is written for 32-bit x86");

// uint32_t MeasuredCall(function, words, count, &moved): pushes words[count-1]
// .. words[0] (so words[0] is the first argument), calls the function, and
// stores how far the stack pointer moved across the call, in bytes: 0 when
// the callee removed exactly what was pushed. Returns EAX.
extern "C" uint32_t MeasuredCall(const void* function, const uint32_t* words, uint32_t count,
                                 int32_t* moved);
asm(R"(
    .text
    .globl _MeasuredCall
_MeasuredCall:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  12(%ebp), %esi
    movl  16(%ebp), %ecx
    movl  %esp, %ebx
1:  testl %ecx, %ecx
    jz    2f
    pushl -4(%esi,%ecx,4)
    decl  %ecx
    jmp   1b
2:  call  *8(%ebp)
    movl  %esp, %ecx
    subl  %ebx, %ecx
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    movl  %ebx, %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");

namespace {

struct Run {
    HMODULE dll = nullptr;
    std::set<std::string> called;
    std::vector<std::string> failures;

    void Fail(const std::string& what) {
        std::printf("FAIL %s\n", what.c_str());
        failures.push_back(what);
    }
    void Expect(bool condition, const std::string& what) {
        if (!condition) Fail(what);
    }
};

template <typename T>
uint32_t Word(T value) {
    static_assert(sizeof(T) <= 4, "every argument is one 32-bit stack word");
    if constexpr (std::is_pointer_v<T>) {
        return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(value));
    } else {
        return static_cast<uint32_t>(value);
    }
}

template <typename R>
R FromEax(uint32_t eax) {
    if constexpr (std::is_pointer_v<R>) {
        return reinterpret_cast<R>(static_cast<uintptr_t>(eax));
    } else {
        return static_cast<R>(eax);  // an int16_t result is AX
    }
}

// Calls the named export as a function of pointer type Fn, the header's
// declaration (one that is not __stdcall does not compile here).
template <typename Fn>
struct Export;

template <typename R, typename... A>
struct Export<R(__stdcall*)(A...)> {
    static R Call(Run& run, const char* name, A... args) {
        run.called.insert(name);
        FARPROC function = GetProcAddress(run.dll, name);
        if (function == nullptr) {
            run.Fail(std::string(name) + ": not exported");
            if constexpr (!std::is_void_v<R>) return R();
            else return;
        }
        const uint32_t words[sizeof...(A) + 1] = {Word(args)..., 0};
        int32_t moved = 0;
        uint32_t eax = MeasuredCall(reinterpret_cast<const void*>(function), words, sizeof...(A), &moved);
        if (moved != 0) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "%s: %u argument bytes pushed, the stack pointer moved by %+ld bytes across the call "
                          "(the callee removed %ld)",
                          name, static_cast<unsigned>(4 * sizeof...(A)), static_cast<long>(moved),
                          static_cast<long>(4 * sizeof...(A)) + moved);
            run.Fail(text);
        }
        if constexpr (!std::is_void_v<R>) return FromEax<R>(eax);
    }
};

// CALL_EXPORT(run, ServerStart, 8080): the export named once, typed as quorvex.h declares it.
#define CALL_EXPORT(run, name, ...) Export<decltype(&::name)>::Call(run, #name, ##__VA_ARGS__)

std::string Bytes(QvBSTR text) {
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

// Takes the string an export returned and frees it.
std::string Take(QvBSTR text) {
    std::string bytes = Bytes(text);
    SysFreeString(text);
    return bytes;
}

std::vector<std::string> DefNames(const char* path) {
    std::ifstream file(path);
    std::vector<std::string> names;
    std::string line;
    bool exports = false;
    while (std::getline(file, line)) {
        line.erase(line.find_last_not_of(" \t\r") + 1);
        line.erase(0, line.find_first_not_of(" \t"));
        if (line == "EXPORTS") exports = true;
        else if (exports && !line.empty()) names.push_back(line);
    }
    return names;
}

int32_t FreePort() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    int length = sizeof address;
    int32_t port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    closesocket(s);
    return port;
}

int32_t __stdcall HostCallback(int32_t, const char*, int32_t, const char*, int32_t) {
    return 0;
}

void CallEveryExport(Run& run) {
    // The load hook with "thread attach": nothing to do, 1.
    run.Expect(CALL_EXPORT(run, LIBMAIN, nullptr, 2u, nullptr) == 1, "LIBMAIN(thread attach) is not 1");

    run.Expect(CALL_EXPORT(run, SetServerDir, "C:\\") == 0, "SetServerDir is not 0");
    run.Expect(CALL_EXPORT(run, WEBSRVSETCGI, "C:\\") == 0, "WEBSRVSETCGI is not 0");
    run.Expect(CALL_EXPORT(run, WEBSRVSETTYPE, "qvx", "text/x-quorvex") == 0, "WEBSRVSETTYPE is not 0");
    run.Expect(CALL_EXPORT(run, WEBSRVSETOPTION, "programs", "1") == 0, "WEBSRVSETOPTION is not 0");

    HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    run.Expect(window != nullptr, "no window to hand over");
    run.Expect(CALL_EXPORT(run, WEBSRVSETWINDOW, window) == 0, "WEBSRVSETWINDOW(a live window) is not 0");
    CALL_EXPORT(run, WEBSRVCLEARWINDOW);
    DestroyWindow(window);

    HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    CALL_EXPORT(run, WEBSRVSETMUTEX, &mutex);
    run.Expect(CALL_EXPORT(run, SetServerCallback, &HostCallback) == 0, "SetServerCallback is not 0");
    CALL_EXPORT(run, StopServerCallback);

    run.Expect(CALL_EXPORT(run, ServerStart, -1) == -3, "ServerStart(-1) is not -3");
    int32_t port = FreePort();
    run.Expect(CALL_EXPORT(run, ServerStart, port) == 0, "ServerStart(a free port) is not 0");
    run.Expect(CALL_EXPORT(run, ServerRunning) == 1, "ServerRunning is not 1 while listening");

    run.Expect(Take(CALL_EXPORT(run, WEBSRVGETREQUEST, 0)).empty(), "WEBSRVGETREQUEST(0) is not empty");
    run.Expect(CALL_EXPORT(run, PostResponse, -1, "answer") == 0, "PostResponse(slot -1) is not 0");
    run.Expect(CALL_EXPORT(run, PostResponseC, -1, "a\0b", 3) == 0, "PostResponseC(slot -1) is not 0");
    QvBSTR answer = SysAllocStringByteLen("a\0b", 3);
    QvBSTR before = answer;
    run.Expect(CALL_EXPORT(run, PostResponseA, -1, &answer) == 0 && answer == before,
               "PostResponseA(slot -1) is not 0 with the string left alone");
    SysFreeString(answer);

    CALL_EXPORT(run, ServerStop);
    run.Expect(CALL_EXPORT(run, ServerRunning) == 0, "ServerRunning is not 0 after ServerStop");

    run.Expect(Take(CALL_EXPORT(run, GetString, "a\0b", 3)) == std::string("a\0b", 3), "GetString lost bytes");
    run.Expect(Take(CALL_EXPORT(run, WEBSRVPARSE, "first,second,third", ",", 2)) == "second",
               "WEBSRVPARSE(..., 2) is not the second field");

    QvBSTR plain = SysAllocStringByteLen("8 bytes!", 8);
    QvBSTR sealed = CALL_EXPORT(run, TEA_Encode, &plain, "key");
    run.Expect(Bytes(sealed).size() == 8 && Bytes(sealed) != "8 bytes!", "TEA_Encode did not encode one block");
    run.Expect(Take(CALL_EXPORT(run, TEA_Decode, &sealed, "key")) == "8 bytes!", "TEA_Decode did not restore it");
    SysFreeString(sealed);
    SysFreeString(plain);

    // Nothing listens on the freed port: both fetches fail at once and give empty text.
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    run.Expect(Take(CALL_EXPORT(run, WEBResponse, url.c_str(), "", "")).empty(), "WEBResponse of nothing is not empty");
    run.Expect(Take(CALL_EXPORT(run, PostQuestion, "127.0.0.1", port, "", "", "", "", "")).empty(),
               "PostQuestion to nothing is not empty");

    CloseHandle(mutex);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: export_stack_test DEF_FILE\n");
        return 2;
    }
    std::vector<std::string> names = DefNames(argv[1]);
    if (names.empty()) {
        std::fprintf(stderr, "no export names in %s\n", argv[1]);
        return 2;
    }
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);

    Run run;
    run.dll = LoadLibraryA("quorvex.dll");
    if (run.dll == nullptr) {
        std::printf("FAIL quorvex.dll does not load (error %lu)\n", GetLastError());
        return 1;
    }
    CallEveryExport(run);

    for (const std::string& name : names) {
        if (run.called.count(name) == 0) run.Fail(name + ": exported but never called here");
    }
    for (const std::string& name : run.called) {
        if (std::find(names.begin(), names.end(), name) == names.end()) run.Fail(name + ": called but not in the .def");
    }
    std::printf("%u exports called, %u failures\n", static_cast<unsigned>(run.called.size()),
                static_cast<unsigned>(run.failures.size()));
    return run.failures.empty() ? 0 : 1;
}
