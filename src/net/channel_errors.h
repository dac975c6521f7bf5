// The error codes of the channel layer; 0 is success.
#pragma once

namespace qv::net {

enum ChannelError : int {
    kOk = 0,
    kErrOutOfMemory = 7,
    kErrTimeout = 24,
    kErrBadChannel = 52,
    kErrWrongKind = 54,
    kErrChannelInUse = 55,
    kErrNetwork = 57,
    kErrNetworkUnavailable = 68,
    kErrNetworkBusy = 70,
};

}  // namespace qv::net
