#include "library.h"

#include <gtest/gtest.h>

#include "loader.h"

namespace qvtest {

namespace {

template <typename F>
void Bind(F& slot, const char* name) {
    slot = reinterpret_cast<F>(LoadedExport(name));
}

Api LoadApi() {
    Api a{};
#define QV_BIND(name) Bind(a.name, #name)
    QV_BIND(LIBMAIN);
    QV_BIND(ServerStart);
    QV_BIND(ServerStop);
    QV_BIND(ServerRunning);
    QV_BIND(SetServerDir);
    QV_BIND(WEBSRVSETCGI);
    QV_BIND(WEBSRVSETWINDOW);
    QV_BIND(WEBSRVCLEARWINDOW);
    QV_BIND(WEBSRVSETMUTEX);
    QV_BIND(SetServerCallback);
    QV_BIND(StopServerCallback);
    QV_BIND(WEBSRVSETTYPE);
    QV_BIND(WEBSRVSETOPTION);
    QV_BIND(WEBSRVGETREQUEST);
    QV_BIND(WEBSRVPARSE);
    QV_BIND(PostResponse);
    QV_BIND(PostResponseA);
    QV_BIND(PostResponseC);
    QV_BIND(GetString);
    QV_BIND(WEBResponse);
    QV_BIND(PostQuestion);
    QV_BIND(TEA_Encode);
    QV_BIND(TEA_Decode);
#undef QV_BIND
    Bind(a.SysAllocStringByteLen, "SysAllocStringByteLen");
    Bind(a.SysStringByteLen, "SysStringByteLen");
    Bind(a.SysFreeString, "SysFreeString");
    return a;
}

}  // namespace

const Api& api() {
    static const Api loaded = LoadApi();
    return loaded;
}

void* FindExport(const char* name) {
    api();
    return LoadedExport(name);
}

std::string TakeString(QvBSTR text) {
    const Api& a = api();
    if (text == nullptr) return std::string();
    std::string bytes(reinterpret_cast<const char*>(text), a.SysStringByteLen(text));
    a.SysFreeString(text);
    return bytes;
}

QvBSTR MakeString(const std::string& bytes) {
    return api().SysAllocStringByteLen(bytes.data(), static_cast<unsigned int>(bytes.size()));
}

}  // namespace qvtest
