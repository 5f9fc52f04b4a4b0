#pragma once
// The listener: accepts connections on 127.0.0.1, runs each in a Session on its own thread
// up to a bound, and on stop() closes the listener, ends every session and joins them.
// Used by the testserver program (main.cpp).

#include "BatchLog.h"
#include "Catalogue.h"
#include "Session.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace testserver {

struct ServerOptions {
    int port = 0;
    int maxConnections = 64;
    double lifetimeSeconds = 0; // 0: until stopped
    SessionLimits session;
};

class Server {
public:
    Server(ServerState& state, BatchLog& log, Diagnostics& diagnostics, ServerOptions options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; returns the port (the one picked when the options said 0).
    int listen();
    // Accepts until stop() or the lifetime ends, then ends every connection.
    void run();
    void stop();

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void reap(bool all);

    ServerState& m_state;
    BatchLog& m_log;
    Diagnostics& m_diag;
    ServerOptions m_options;
    SessionContext m_context;
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::atomic<bool> m_stopping{false};
    std::mutex m_connMutex;
    std::list<std::unique_ptr<Connection>> m_connections;
    int m_nextConnection = 1;
};

} // namespace testserver
