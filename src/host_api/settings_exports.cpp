// The exports with which the host sets directories, its window, its mutex and its callback.
#include <string>

#include "content/content_type.h"
#include "quorvex.h"
#include "server/settings_store.h"

namespace {

std::string TextOf(const char* text) { return text == nullptr ? std::string() : std::string(text); }

// Window and mutex handles are pointers on Windows and numbers natively; a
// plain conversion serves both.
template <typename Handle>
uintptr_t HandleValue(Handle handle) {
    return (uintptr_t)handle;
}

}  // namespace

extern "C" {

QV_API int32_t QV_CALL SetServerDir(const char* dir) {
    try {
        qv::server::SetDocumentDirectory(TextOf(dir));
    } catch (...) {
    }
    return 0;
}

QV_API int16_t QV_CALL WEBSRVSETCGI(const char* dir) {
    try {
        qv::server::SetCgiDirectory(TextOf(dir));
    } catch (...) {
    }
    return 0;
}

QV_API int32_t QV_CALL WEBSRVSETWINDOW(QvWindow window) {
    try {
        return qv::server::SetHostWindow(HandleValue(window)) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

QV_API void QV_CALL WEBSRVCLEARWINDOW(void) {
    try {
        qv::server::ClearHostWindow();
    } catch (...) {
    }
}

QV_API void QV_CALL WEBSRVSETMUTEX(const QvMutex* mutex) {
    try {
        if (mutex != nullptr) qv::server::SetHostMutex(HandleValue(*mutex));
    } catch (...) {
    }
}

QV_API int32_t QV_CALL SetServerCallback(QvRequestCallback callback) {
    try {
        return qv::server::SetRequestCallback(callback) ? 0 : -2;
    } catch (...) {
        return -2;
    }
}

QV_API void QV_CALL StopServerCallback(void) {
    try {
        qv::server::ClearRequestCallback();
    } catch (...) {
    }
}

QV_API int32_t QV_CALL WEBSRVSETTYPE(const char* extension, const char* type) {
    try {
        return qv::content::SetHostContentType(TextOf(extension), TextOf(type)) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

QV_API int32_t QV_CALL WEBSRVSETOPTION(const char* name, const char* value) {
    try {
        // A missing value is refused, never read as the empty one (which for
        // some settings means their default).
        if (value == nullptr) return name != nullptr && qv::server::IsServerOption(name) ? -2 : -1;
        switch (qv::server::SetServerOption(TextOf(name), TextOf(value))) {
        case qv::server::OptionResult::Set:
            return 0;
        case qv::server::OptionResult::UnknownName:
            return -1;
        case qv::server::OptionResult::Refused:
            break;
        }
    } catch (...) {
    }
    return -2;
}

}  // extern "C"
