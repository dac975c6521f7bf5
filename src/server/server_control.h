// Library attach/detach and starting and stopping the server.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace qv::server {

constexpr uint32_t kWmInitDialog = 272;
constexpr uint32_t kWmClose = 16;
constexpr uint32_t kChannelTimeoutMs = 60000;

int32_t LibraryEntry(uint32_t reason);
int32_t Start(int32_t port);
void Stop();
int32_t Running();

// The notification window's procedure.
intptr_t NotificationHandler(platform::Window window, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace qv::server
