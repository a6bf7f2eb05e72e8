#pragma once
// A bound Unix-domain socket at a path: the kind of file a save must refuse.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace velmar::test {

// The socket's descriptor (close it when done), or -1 when it cannot be made.
inline int BindUnixSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::strcpy(address.sun_path, path.c_str());
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (sock < 0) return -1;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

} // namespace velmar::test
