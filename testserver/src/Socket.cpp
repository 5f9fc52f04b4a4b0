#include "Socket.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace testserver {

IoResult Socket::waitReadable(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return IoResult::Closed;
        if (r == 0)
            return IoResult::Timeout;
        return IoResult::Ok;
    }
}

IoResult Socket::readExact(void* buf, std::size_t n, int timeoutMs)
{
    auto* out = static_cast<char*>(buf);
    std::size_t got = 0;
    while (got < n) {
        const IoResult w = waitReadable(timeoutMs);
        if (w != IoResult::Ok)
            return w;
        const ssize_t r = ::recv(m_fd, out + got, n - got, 0);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return IoResult::Closed;
        got += static_cast<std::size_t>(r);
    }
    return IoResult::Ok;
}

bool Socket::writeAll(std::string_view data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t r = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        sent += static_cast<std::size_t>(r);
    }
    return true;
}

void Socket::shutdown()
{
    ::shutdown(m_fd, SHUT_RDWR);
}

} // namespace testserver
