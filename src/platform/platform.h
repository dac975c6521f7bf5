// The one interface between the library and the operating system.
//
// Everything above src/platform/ is written once against these functions;
// src/platform/win32/ maps them onto the Windows services, src/platform/posix/
// onto Linux and our own stand-in for the Windows message loop. Each function
// is a thin wrapper: retries, time-outs and protocol rules live above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "quorvex.h"

namespace qv::platform {

// ---- byte strings (OLE Automation layout) --------------------------------
// A new byte string holding `length` bytes (copied when `bytes` is not null).
QvBSTR AllocByteString(const char* bytes, uint32_t length);
uint32_t ByteStringLength(QvBSTR text);  // 0 for a null string
const char* ByteStringBytes(QvBSTR text);
void FreeByteString(QvBSTR text);

// ---- time ------------------------------------------------------------------
struct LocalTime {
    int year, month, day;                  // month 1-12, day 1-31
    int hour, minute, second, millisecond;
};
LocalTime CurrentLocalTime();
uint64_t MonotonicMilliseconds();
void SleepMilliseconds(uint32_t ms);

// ---- windows and their messages -------------------------------------------
using Window = uintptr_t;  // 0 = no window
using WindowProc = intptr_t (*)(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// An invisible window owned by the calling thread; its messages reach `proc`
// from that thread's message loop. 0 on failure.
Window CreateHiddenWindow(WindowProc proc);
bool WindowExists(Window window);
void DestroyHiddenWindow(Window window);
// SendMessage semantics: runs the window's procedure on its owner thread and
// returns its result; from another thread it blocks until the owner answers.
intptr_t SendWindowMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// ---- the host's mutex (never created or closed by the library) -------------
using Mutex = uintptr_t;
void WaitMutexForever(Mutex mutex);
void ReleaseHostMutex(Mutex mutex);

// ---- code addresses ----------------------------------------------------------
// False for null and for anything that is not executable code.
bool IsExecutableAddress(const void* address);

// ---- sockets ---------------------------------------------------------------
using Socket = intptr_t;
constexpr Socket kNoSocket = -1;
constexpr int kErrorInProgress = 10036;  // WSAEINPROGRESS, as the channel layer reports it

bool SocketLibraryStart();  // WSAStartup 2.0; false when unavailable or not version 2
void SocketLibraryStop();   // WSACleanup
int LastSocketError();      // kErrorInProgress for "operation in progress", else any non-zero
Socket OpenTcpSocket();     // kNoSocket on failure
bool SetDontLinger(Socket socket);
bool BindSocket(Socket socket, uint32_t addressNetOrder, uint16_t port);
bool ListenSocket(Socket socket, int backlog);
// An IPv4 address (its 4 bytes first, the rest zero) or an IPv6 address, in network order.
struct IpAddress {
    bool v6 = false;
    uint8_t bytes[16] = {};
    bool operator==(const IpAddress& other) const {
        if (v6 != other.v6) return false;
        for (int i = 0; i < 16; ++i) {
            if (bytes[i] != other.bytes[i]) return false;
        }
        return true;
    }
};
// A TCP socket of the address's family (kNoSocket on failure). An IPv6
// socket takes IPv6 alone: IPv4 clients come in on IPv4 sockets only.
Socket OpenTcpSocketFor(const IpAddress& address);
bool BindSocketTo(Socket socket, const IpAddress& address, uint16_t port);
struct PeerAddress {
    IpAddress address;
    uint16_t port = 0;
    bool known = false;
};
// Never waits; kNoSocket when none is pending. `peer`, when given, learns who connected.
Socket AcceptConnection(Socket listening, PeerAddress* peer = nullptr);
long ReceiveSocket(Socket socket, char* buffer, size_t size);  // -1 error, 0 peer closed
long SendSocket(Socket socket, const char* data, size_t size);  // -1 error
// The same without ever waiting: kWouldBlock when the socket is not ready yet
// (so a ready socket costs one call instead of a wait and a call).
constexpr long kWouldBlock = -2;
long ReceiveSocketNow(Socket socket, char* buffer, size_t size);
long SendSocketNow(Socket socket, const char* data, size_t size);
void CloseSocket(Socket socket);
// The sending side finished (the peer reads the end), the receiving side still open.
void ShutdownSending(Socket socket);
// Bytes sent on the socket that the peer has not yet taken; -1 where the
// system cannot tell (there a small send buffer makes progress show as write events).
long UnsentSocketBytes(Socket socket);
// True for the errors of a system out of descriptors or buffers (an accept
// that fails so will fail again until something is closed).
bool IsResourceShortage(int error);
// Raises the process's limit of open descriptors toward what the system
// allows, where it has one to raise; a full server needs two per connection.
void RaiseDescriptorLimit();
bool SocketPeer(Socket socket, IpAddress& address, uint16_t& port);
std::string AddressText(uint32_t addressNetOrder);  // dotted quad, as inet_ntoa
// WSAAsyncSelect: socket events become `message` to `window`, wParam the
// socket, lParam the event bits (low word) and error code (high word).
bool NotifySocketEvents(Socket socket, Window window, uint32_t message, uint32_t events);
// The event bits of NotifySocketEvents, numbered as WinSock numbers them, with
// its rules: kSocketRead is reported when data arrives and again only after
// the next receive (if data is left then); kSocketWrite once the socket can
// send after registration, and again only after a send that would have
// blocked; kSocketAccept when a connection is pending and again after the
// next accept; kSocketClose once, when the peer has finished sending or the
// connection failed.
constexpr uint32_t kSocketRead = 0x01;
constexpr uint32_t kSocketWrite = 0x02;
constexpr uint32_t kSocketAccept = 0x08;
constexpr uint32_t kSocketClose = 0x20;
std::string LocalHostName();                            // gethostname; empty on failure
bool FirstLocalHostAddress(uint32_t& addressNetOrder);  // first IPv4 address of the host name
std::string HostNameOfAddress(uint32_t addressNetOrder);  // gethostbyaddr; empty on failure

// ---- files -----------------------------------------------------------------
using File = uintptr_t;  // 0 = no file
// Creates or truncates `name` for reading and writing, shared for reading and
// writing, with a handle a child process inherits. One attempt; 0 on failure.
// Never through a link: a link, a directory, a file with more than one name
// or anything else than a plain file at `name` is left untouched, gives 0
// and sets `notAPlainFile` (when given).
File CreateSharedFile(const std::string& name, bool* notAPlainFile = nullptr);
// A new empty file for this process alone (no program inherits it), gone
// from the disk once closed; 0 on failure.
File CreateTemporaryFile();
// Writes all of `data` at the file position; false when the system took less.
bool AppendToFile(File file, const char* data, size_t size);
void SeekToEnd(File file);
void Rewind(File file);
void WriteToFile(File file, const char* data, size_t size);
// A positioned read from offset `offset`, independent of the file position.
long ReadFileAt(File file, uint64_t offset, char* buffer, size_t size);
// Sends to the socket up to `count` bytes of the file from `offset` without waiting: the
// count sent, kWouldBlock (the next write event then comes when the socket
// can take more), or -1. Meant for sockets registered for events.
long SendFileNow(Socket socket, File file, uint64_t offset, size_t count);
void CloseFile(File file);
// A handle of its own on the open file, for reading only: no program started
// later inherits it, and it does not keep the file's name from being removed
// (the name goes, the file stays readable until this handle is closed). 0 on failure.
File ReopenForReading(File file);
bool RemoveFile(const std::string& name);
enum class PathKind { Missing, File, Directory, Other };
PathKind ProbePath(const std::string& name);
int64_t FileSize(File file);  // -1 on failure
// The joined directory + mapped path as this platform names files
// (mapped paths use backslashes; Linux wants '/').
std::string NativeFileName(const std::string& name);
// The separator that ends a directory name ('\\' on Windows, '/' on Linux).
char DirectorySeparator();
// The canonical absolute name with every link resolved; false if it cannot be had.
bool CanonicalName(const std::string& name, std::string& canonical);
// What `name` resolves to, as a volume and a number on it: equal identities
// are the same file or directory. False if nothing is there.
struct FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileIdentity& other) const { return volume == other.volume && index == other.index; }
};
bool IdentifyFile(const std::string& name, FileIdentity& identity);

// ---- files opened below a directory -------------------------------------------
// A directory held open, the start of every look-up below it, with its
// identity and canonical name as they were when it was opened. (Windows holds
// nothing: a file below is opened by the directory's canonical name and
// checked as opened, and a held directory could not be deleted by its host.)
using Directory = uintptr_t;  // 0 = none
struct OpenedDirectory {
    Directory handle = 0;
    FileIdentity identity;
    std::string canonical;  // without a trailing separator (but "/" for the root)
};
// Opens `name` (links in the name itself are followed); false when it is no directory.
bool OpenDirectory(const std::string& name, OpenedDirectory& opened);
void CloseDirectory(Directory directory);
// Reading serves the file; running only holds the program (natively a handle
// a program is started from, on Windows one that forbids renaming, deleting
// and writing the file while it is held).
enum class OpenPurpose { Read, Run };
struct OpenedFile {
    File file = 0;                      // the opened regular file; 0 when none
    PathKind kind = PathKind::Missing;  // what the name led to
    bool mayRetry = false;              // a file that is there but locked for now
    bool outside = false;               // what the name led to is not within the directory
    int64_t size = -1;
    int64_t modified = 0;  // last change of its contents, seconds since 1970-01-01 UTC
    std::string name;      // the opened file's canonical name
};
// One attempt at opening `relative` (separators '/' or '\\') below the
// directory: looked up from the held directory, refusing on the way whatever
// would leave it where the system can, then checked as opened: a regular file
// whose canonical name lies within the directory's. Nothing is looked up by
// name again afterwards; a file that fails the check is closed at once.
OpenedFile OpenBelow(const OpenedDirectory& directory, const std::string& relative, OpenPurpose purpose);

// ---- processes -----------------------------------------------------------------
struct ProgramLaunch {
    std::string application;        // the program file (its checked name when `program` is set)
    File program = 0;               // the checked program, held open: what is started (OpenPurpose::Run)
    std::string commandLine;        // the whole command line (on Linux the only argument)
    std::string environmentBlock;   // NAME=value\0 ... \0\0, the program's whole environment
    std::string workingDirectory;
    File standardInput, standardOutput, standardError;
};

// Running a program beside the message loop: started without waiting, its end
// reported as a message.
//
// A program is started with everything it starts in turn as one tree (a
// process group of its own on Linux, a job on Windows), and the tree ends
// with it: ending or closing the program ends every process of the tree,
// and what is left of the tree once the program has ended on its own is
// ended by then too. A process that leaves the tree on purpose (a session
// of its own, a job that lets it break away) is beyond reach.
using Process = uintptr_t;  // 0 = none
// 0 when the program could not be started.
Process StartProgram(const ProgramLaunch& launch);
// Posts `message` to `window` (wParam = `tag`, lParam = 0) once the process
// has ended, at once if it already has; one message per call. False when
// nothing will be posted.
bool NotifyProcessEnd(Process process, Window window, uint32_t message, uintptr_t tag);
// Ends the program and its whole tree at once (the program's end is then
// reported as any end).
void EndProgram(Process process);
// Ends what still runs of the program's tree and forgets the process: no
// message is posted for it any more (one posted already may still arrive;
// the tag tells). The system layer reaps it once it has ended.
void CloseProcess(Process process);

// ---- timers (SetTimer) -----------------------------------------------------------
constexpr uint32_t kTimerMessage = 0x0113;  // WM_TIMER
// `kTimerMessage` reaches `window` every `intervalMs` with wParam = `id`
// until KillWindowTimer; setting the same window and id again replaces it.
bool SetWindowTimer(Window window, uintptr_t id, uint32_t intervalMs);
void KillWindowTimer(Window window, uintptr_t id);

// ---- internet client ---------------------------------------------------------
// Fetches `url` directly (no proxy, no cache write) with the given agent name;
// the body whatever the status. False when the URL cannot be opened.
bool FetchUrl(const std::string& url, const std::string& agent, std::string& body);

}  // namespace qv::platform

namespace qv::platform {

// ---- for hosts and tests that run the loop themselves --------------------------
// Runs the calling thread's message loop (sent and posted messages, socket
// events of its windows) for up to `timeoutMs` (0: one pass, -1: until a
// quit). Returns -1 once a quit was posted, else 0.
int PumpMessages(int32_t timeoutMs);
// The directory of the running program, ending with its separator.
std::string ExecutableDirectory();
// The document and CGI directory a freshly loaded library starts with
// ("C:\\Temp\\" on Windows, "/tmp/" on Linux).
std::string DefaultDirectory();

}  // namespace qv::platform

namespace qv::platform {

// ---- the listening queue ---------------------------------------------------------
// The longest queue of pending connections the system offers (SOMAXCONN), so
// that a burst of clients is not dropped while one request is being answered.
int MaximumListenBacklog();

}  // namespace qv::platform
