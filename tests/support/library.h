// The built library as a host sees it: loaded by file name at run time
// (dlopen / LoadLibraryA), every export found by its exact name.
#pragma once

#include <string>

#include "quorvex.h"

namespace qvtest {

struct Api {
    decltype(&::LIBMAIN) LIBMAIN;
    decltype(&::ServerStart) ServerStart;
    decltype(&::ServerStop) ServerStop;
    decltype(&::ServerRunning) ServerRunning;
    decltype(&::SetServerDir) SetServerDir;
    decltype(&::WEBSRVSETCGI) WEBSRVSETCGI;
    decltype(&::WEBSRVSETWINDOW) WEBSRVSETWINDOW;
    decltype(&::WEBSRVCLEARWINDOW) WEBSRVCLEARWINDOW;
    decltype(&::WEBSRVSETMUTEX) WEBSRVSETMUTEX;
    decltype(&::SetServerCallback) SetServerCallback;
    decltype(&::StopServerCallback) StopServerCallback;
    decltype(&::WEBSRVSETTYPE) WEBSRVSETTYPE;
    decltype(&::WEBSRVSETOPTION) WEBSRVSETOPTION;
    decltype(&::WEBSRVGETREQUEST) WEBSRVGETREQUEST;
    decltype(&::WEBSRVPARSE) WEBSRVPARSE;
    decltype(&::PostResponse) PostResponse;
    decltype(&::PostResponseA) PostResponseA;
    decltype(&::PostResponseC) PostResponseC;
    decltype(&::GetString) GetString;
    decltype(&::WEBResponse) WEBResponse;
    decltype(&::PostQuestion) PostQuestion;
    decltype(&::TEA_Encode) TEA_Encode;
    decltype(&::TEA_Decode) TEA_Decode;
    // The byte-string functions: the library's own natively, OLEAUT32's on Windows.
    QvBSTR(QV_CALL* SysAllocStringByteLen)(const char*, unsigned int);
    unsigned int(QV_CALL* SysStringByteLen)(QvBSTR);
    void(QV_CALL* SysFreeString)(QvBSTR);
};

// Loads the library once (in the calling thread, which then owns the
// server's notification window) and returns its exports. An export that is
// missing is left null; tests that need it fail on RequireExport.
const Api& api();
// Looks an export up by name in the loaded library (null when absent).
void* FindExport(const char* name);

// Copies a byte string the library returned into std::string and frees it.
std::string TakeString(QvBSTR text);
// A byte string of the given bytes, made with SysAllocStringByteLen.
QvBSTR MakeString(const std::string& bytes);

}  // namespace qvtest
