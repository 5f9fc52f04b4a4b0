#include "Server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testserver {

Server::Server(ServerState& state, BatchLog& log, Diagnostics& diagnostics, ServerOptions options)
    : m_state(state), m_log(log), m_diag(diagnostics),
      m_options(options), m_context{state, log, diagnostics, options.session}
{
    if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
}

Server::~Server()
{
    stop();
    reap(true);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    ::close(m_wakePipe[0]);
    ::close(m_wakePipe[1]);
}

int Server::listen()
{
    m_listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listenFd < 0)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    ::setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(m_options.port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(m_options.port) +
                                 ": " + std::strerror(errno));
    if (::listen(m_listenFd, 64) != 0)
        throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
    socklen_t len = sizeof addr;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

void Server::stop()
{
    m_stopping = true;
    const char c = 'x';
    [[maybe_unused]] const ssize_t r = ::write(m_wakePipe[1], &c, 1);
}

void Server::reap(bool all)
{
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard lock(m_connMutex);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (all || (*it)->finished) {
                if (all)
                    ::shutdown((*it)->fd, SHUT_RDWR);
                done.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : done) {
        if (c->thread.joinable())
            c->thread.join();
        ::close(c->fd);
    }
}

void Server::run()
{
    const auto started = std::chrono::steady_clock::now();
    while (!m_stopping) {
        if (m_options.lifetimeSeconds > 0 &&
            std::chrono::steady_clock::now() - started >
                std::chrono::duration<double>(m_options.lifetimeSeconds)) {
            m_diag.line("lifetime of " + std::to_string(m_options.lifetimeSeconds) +
                        " s is over, stopping");
            break;
        }
        pollfd fds[2] = {{m_listenFd, POLLIN, 0}, {m_wakePipe[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, 250);
        reap(false);
        if (r < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (r <= 0 || !(fds[0].revents & POLLIN))
            continue;
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::lock_guard lock(m_connMutex);
        const int id = m_nextConnection++;
        if (static_cast<int>(m_connections.size()) >= m_options.maxConnections) {
            m_diag.line("conn " + std::to_string(id) + ": refused: " +
                        std::to_string(m_options.maxConnections) + " connections are open");
            ::close(fd);
            continue;
        }
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        Connection* raw = c.get();
        c->thread = std::thread([this, raw, id] {
            Session session(raw->fd, id, m_context);
            session.run();
            raw->finished = true;
        });
        m_connections.push_back(std::move(c));
    }
    reap(true);
}

} // namespace testserver
