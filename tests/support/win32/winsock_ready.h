// Winsock for the test clients: started once for the whole test program and left running.
#pragma once

namespace qvtest {

bool WinsockReady();

}  // namespace qvtest
