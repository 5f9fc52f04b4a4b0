#pragma once
// Blocking socket I/O with deadlines, over poll(): the only place that touches file
// descriptors of connections. The listener lives in Server. Used by the session.

#include <cstddef>
#include <string_view>

namespace testserver {

enum class IoResult { Ok, Timeout, Closed };

class Socket {
public:
    explicit Socket(int fd) : m_fd(fd) {}

    // Waits up to timeoutMs (negative: forever) for the first byte, then reads exactly n.
    IoResult readExact(void* buf, std::size_t n, int timeoutMs);
    // Whether data (or the peer's close) is waiting, within timeoutMs.
    IoResult waitReadable(int timeoutMs);
    bool writeAll(std::string_view data);
    void shutdown();
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace testserver
