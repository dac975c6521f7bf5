// The library entry and the server control exports.
#include "quorvex.h"
#include "server/server_control.h"

extern "C" {

QV_API int32_t QV_CALL LIBMAIN(void* /*instance*/, uint32_t reason, void* /*reserved*/) {
    try {
        return qv::server::LibraryEntry(reason);
    } catch (...) {
        return 0;
    }
}

QV_API int32_t QV_CALL ServerStart(int32_t port) {
    try {
        return qv::server::Start(port);
    } catch (...) {
        return 4;
    }
}

QV_API void QV_CALL ServerStop(void) {
    try {
        qv::server::Stop();
    } catch (...) {
    }
}

QV_API int32_t QV_CALL ServerRunning(void) {
    try {
        return qv::server::Running();
    } catch (...) {
        return 0;
    }
}

}  // extern "C"
