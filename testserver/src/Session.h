#pragma once
// One client connection from PRELOGIN to close: reads requests, runs them, writes answers.
// Its progress is an explicit state; anything out of place for the state, or malformed,
// closes this connection with one line on stderr and never touches the others. Run by the
// server on a thread of its own.

#include "BatchLog.h"
#include "Catalogue.h"
#include "Executor.h"
#include "Framing.h"
#include "Socket.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace testserver {

struct SessionLimits {
    int loginTimeoutMs = 60'000;  // from accept to a completed login
    int idleTimeoutMs = 600'000;  // between two requests
    int packetTimeoutMs = 30'000; // for the rest of a packet once it started
    std::int64_t maxRequests = 100'000;
};

struct SessionContext {
    ServerState& state;
    BatchLog& log;
    Diagnostics& diagnostics;
    SessionLimits limits;
};

enum class SessionState { AwaitingPrelogin, AwaitingLogin, LoggedIn, Closed };

class Session {
public:
    Session(int fd, int connectionId, SessionContext& context);
    void run();

private:
    enum class Read { Message, Timeout, Closed };
    Read readMessage(int timeoutMs, RequestMessage& out);
    void close(const std::string& reason);
    void send(std::string payload);

    void onPrelogin(const RequestMessage& m);
    void onLogin(const RequestMessage& m);
    void onSqlBatch(const RequestMessage& m);
    void onRpc(const RequestMessage& m);
    void onTransactionManager(const RequestMessage& m);
    void sendAttentionAck();
    std::string stripAllHeaders(const std::string& payload, const char* what) const;
    // Waits out a fault delay; returns false when the request was cancelled or the
    // connection ended meanwhile.
    bool delayCancellably(double seconds, const BatchEntry& entry);

    Socket m_socket;
    int m_conn;
    std::uint16_t m_spid;
    SessionContext& m_ctx;
    SessionState m_state = SessionState::AwaitingPrelogin;
    MessageAssembler m_assembler;
    std::uint32_t m_tds = 0;
    std::size_t m_packetSize = kDefaultPacketSize;
    SessionSettings m_settings;
    std::string m_login;
    std::int64_t m_requests = 0;
    std::uint64_t m_transactionId = 0;
};

} // namespace testserver
