#pragma once
// How the stall watch reaches a connection's socket: the process's stream sockets, told apart by
// comparing them before and after an open, and a way to cut one off. Where the driver's socket
// cannot be reached (Windows: the driver's sockets are not the process's to find), nothing is
// found and a call to a silent server is left behind rather than cut.
#include <set>

namespace sockets
{
// The process's open stream sockets; empty where they cannot be listed.
std::set<int> streamSockets();
// Whether a socket found here can be cut off.
bool canCut();
// Shuts the socket down both ways: a call blocked on it returns with a lost connection.
void cut(int socket);
} // namespace sockets
