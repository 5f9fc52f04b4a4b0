#include "Session.h"

#include "Handshake.h"
#include "Text.h"
#include "TokenWriter.h"

#include <algorithm>
#include <chrono>

namespace testserver {

namespace {

std::uint32_t le32(std::string_view p, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[at + static_cast<std::size_t>(i)]);
    return v;
}

std::uint16_t le16(std::string_view p, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[at]) |
                                      (static_cast<unsigned char>(p[at + 1]) << 8));
}

std::string descriptor(std::uint64_t id)
{
    std::string d(8, '\0');
    for (int i = 0; i < 8; ++i)
        d[static_cast<std::size_t>(i)] = static_cast<char>((id >> (8 * i)) & 0xFF);
    return d;
}

} // namespace

Session::Session(int fd, int connectionId, SessionContext& context)
    : m_socket(fd), m_conn(connectionId),
      m_spid(static_cast<std::uint16_t>(std::min(50 + connectionId, 32767))), m_ctx(context)
{
    m_settings.spid = m_spid;
}

void Session::close(const std::string& reason)
{
    if (m_state == SessionState::Closed)
        return;
    m_state = SessionState::Closed;
    if (!reason.empty())
        m_ctx.diagnostics.line("conn " + std::to_string(m_conn) + ": closing: " + reason);
    m_socket.shutdown();
}

void Session::send(std::string payload)
{
    if (!m_socket.writeAll(framePackets(kTabularResult, payload, m_packetSize, m_spid)))
        close("");
}

Session::Read Session::readMessage(int timeoutMs, RequestMessage& out)
{
    for (;;) {
        unsigned char header[kHeaderSize];
        const int wait = m_assembler.inProgress() ? m_ctx.limits.packetTimeoutMs : timeoutMs;
        IoResult r = m_socket.readExact(header, 1, wait);
        if (r == IoResult::Ok)
            r = m_socket.readExact(header + 1, kHeaderSize - 1, m_ctx.limits.packetTimeoutMs);
        if (r == IoResult::Closed)
            return Read::Closed;
        if (r == IoResult::Timeout)
            return Read::Timeout;
        const PacketHeader h = parseHeader(header);
        std::string payload(h.length - kHeaderSize, '\0');
        if (!payload.empty()) {
            r = m_socket.readExact(payload.data(), payload.size(), m_ctx.limits.packetTimeoutMs);
            if (r == IoResult::Closed)
                throw ProtocolError("connection ended inside a " + packetTypeName(h.type) +
                                    " packet");
            if (r == IoResult::Timeout)
                throw ProtocolError("stalled inside a " + packetTypeName(h.type) + " packet");
        }
        if (auto m = m_assembler.add(h, payload)) {
            out = std::move(*m);
            return Read::Message;
        }
    }
}

void Session::run()
{
    try {
        const auto loginDeadline = std::chrono::steady_clock::now() +
                                   std::chrono::milliseconds(m_ctx.limits.loginTimeoutMs);
        while (m_state != SessionState::Closed) {
            int timeout = m_ctx.limits.idleTimeoutMs;
            if (m_state != SessionState::LoggedIn) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      loginDeadline - std::chrono::steady_clock::now())
                                      .count();
                timeout = static_cast<int>(std::max<long long>(0, left));
            }
            RequestMessage m;
            const Read r = readMessage(timeout, m);
            if (r == Read::Closed) {
                close("");
                break;
            }
            if (r == Read::Timeout) {
                close(m_state == SessionState::LoggedIn ? "idle for too long" : "no login in time");
                break;
            }
            if (++m_requests > m_ctx.limits.maxRequests) {
                close("more than " + std::to_string(m_ctx.limits.maxRequests) + " requests");
                break;
            }
            switch (m_state) {
            case SessionState::AwaitingPrelogin:
                if (m.type == kPrelogin)
                    onPrelogin(m);
                else if (m.type == kLogin7)
                    onLogin(m);
                else
                    throw ProtocolError(packetTypeName(m.type) + " before PRELOGIN");
                break;
            case SessionState::AwaitingLogin:
                if (m.type != kLogin7)
                    throw ProtocolError(packetTypeName(m.type) + " where LOGIN7 was expected");
                onLogin(m);
                break;
            case SessionState::LoggedIn:
                if (m.type == kSqlBatch)
                    onSqlBatch(m);
                else if (m.type == kAttention)
                    sendAttentionAck();
                else if (m.type == kRpc)
                    onRpc(m);
                else if (m.type == kTransactionManager)
                    onTransactionManager(m);
                else
                    throw ProtocolError(packetTypeName(m.type) + " after login");
                break;
            case SessionState::Closed:
                break;
            }
        }
    } catch (const ProtocolError& e) {
        close(e.what());
    } catch (const std::exception& e) {
        close(std::string("internal error: ") + e.what());
    }
}

void Session::onPrelogin(const RequestMessage& m)
{
    parsePrelogin(m.payload);
    Generation g;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        g = m_ctx.state.catalogue.generation;
    }
    send(preloginResponse(g));
    m_state = SessionState::AwaitingLogin;
}

void Session::onLogin(const RequestMessage& m)
{
    const LoginRequest req = parseLogin7(m.payload);
    double delay;
    Generation g;
    std::string serverName;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        g = m_ctx.state.catalogue.generation;
        delay = m_ctx.state.catalogue.faults.loginDelaySeconds;
        serverName = m_ctx.state.catalogue.serverName;
    }
    m_tds = negotiateTdsVersion(req.tdsVersion, g.tdsVersion());
    m_packetSize = req.packetSize == 0
                       ? kDefaultPacketSize
                       : std::clamp<std::size_t>(req.packetSize, kMinPacketSize, kMaxPacketSize);
    if (delay > 0) {
        // A client that gives up meanwhile closes; anything it sends before our answer is
        // out of order either way.
        const IoResult r = m_socket.waitReadable(static_cast<int>(delay * 1000));
        if (r != IoResult::Timeout) {
            close("");
            return;
        }
    }

    std::vector<Message> errors;
    std::string database;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        Catalogue& cat = m_ctx.state.catalogue;
        const LoginEntry* login = cat.findLogin(req.userName);
        if (req.integratedSecurity) {
            errors.push_back({18452, 1, 14,
                              "Login failed. The login is from an untrusted domain and cannot be "
                              "used with Windows authentication.",
                              "", 1});
        } else if (!login || login->password != req.password) {
            errors.push_back(
                {18456, 1, 14, "Login failed for user '" + req.userName + "'.", "", 1});
        } else if (!req.database.empty()) {
            if (const Database* db = cat.findDatabase(req.database)) {
                database = db->name;
            } else {
                errors.push_back({4060, 1, 11,
                                  g.is2000() ? "Cannot open database requested in login '" +
                                                   req.database + "'. Login fails."
                                             : "Cannot open database \"" + req.database +
                                                   "\" requested by the login. The login failed.",
                                  "", 1});
                errors.push_back(
                    {18456, 1, 14, "Login failed for user '" + req.userName + "'.", "", 1});
            }
        } else {
            database = "master";
            if (const Database* db = cat.findDatabase("master"))
                database = db->name;
        }
    }

    TokenWriter w(m_tds, serverName);
    m_ctx.log.login(m_conn, req.userName, errors.empty());
    if (!errors.empty()) {
        for (const Message& e : errors)
            w.message(e);
        w.done(DoneKind::Done, kDoneError, kCmdNone, 0);
        send(w.take());
        close("");
        return;
    }
    m_login = req.userName;
    m_settings.user = req.userName;
    m_settings.database = database;
    // Only ODBC clients get QUOTED_IDENTIFIER ON from the login; others set it themselves.
    m_settings.quotedIdentifier = req.odbc;
    w.envChange(kEnvDatabase, database, "master");
    w.message({5701, 2, 10, "Changed database context to '" + database + "'.", "", 1});
    w.envChange(kEnvLanguage, "us_english", "");
    w.message({5703, 1, 10, "Changed language setting to us_english.", "", 1});
    w.envChangeCollation(kDefaultCollation);
    w.loginAck(m_tds, "Microsoft SQL Server", g.major, g.minor, g.build);
    const std::string size = std::to_string(m_packetSize);
    w.envChange(kEnvPacketSize, size, size);
    w.done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
    send(w.take());
    if (m_state != SessionState::Closed)
        m_state = SessionState::LoggedIn;
}

std::string Session::stripAllHeaders(const std::string& p, const char* what) const
{
    if (m_tds < kTds72)
        return p;
    if (p.size() < 4)
        throw ProtocolError(std::string(what) + " without ALL_HEADERS");
    const std::uint32_t total = le32(p, 0);
    if (total < 4 || total > p.size())
        throw ProtocolError(std::string(what) + " ALL_HEADERS length " + std::to_string(total) +
                            " does not fit the message");
    std::size_t pos = 4;
    while (pos < total) {
        if (pos + 6 > total)
            throw ProtocolError(std::string(what) + " header cut short");
        const std::uint32_t len = le32(p, pos);
        if (len < 6 || len > total - pos)
            throw ProtocolError(std::string(what) + " header length " + std::to_string(len) +
                                " does not fit ALL_HEADERS");
        pos += len;
    }
    return p.substr(total);
}

void Session::sendAttentionAck()
{
    TokenWriter w(m_tds, {});
    w.done(DoneKind::Done, kDoneAttention, kCmdNone, 0);
    send(w.take());
}

bool Session::delayCancellably(double seconds, const BatchEntry& entry)
{
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            return true;
        const IoResult r = m_socket.waitReadable(static_cast<int>(left));
        if (r == IoResult::Timeout)
            return true;
        if (r == IoResult::Closed) {
            close("");
            return false;
        }
        RequestMessage m;
        const Read rr = readMessage(m_ctx.limits.packetTimeoutMs, m);
        if (rr != Read::Message) {
            close("");
            return false;
        }
        if (m.type != kAttention)
            throw ProtocolError(packetTypeName(m.type) + " while a batch is running");
        BatchEntry cancelled = entry;
        cancelled.cancelled = true;
        m_ctx.log.batch(cancelled);
        sendAttentionAck();
        return false;
    }
}

void Session::onSqlBatch(const RequestMessage& m)
{
    const std::string text = stripAllHeaders(m.payload, "SQL batch");
    if (text.size() % 2)
        throw ProtocolError("SQL batch text has an odd number of bytes");
    BatchEntry entry;
    entry.conn = m_conn;
    entry.user = m_login;
    entry.sql = utf16leToUtf8(text);

    bool drop;
    double delay;
    std::int64_t number;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        number = ++m_ctx.state.batchesReceived;
        const Faults& f = m_ctx.state.catalogue.faults;
        drop = std::find(f.dropOnBatches.begin(), f.dropOnBatches.end(), number) !=
               f.dropOnBatches.end();
        delay = f.batchDelaySeconds;
        if (!f.delayBatches.empty() &&
            std::find(f.delayBatches.begin(), f.delayBatches.end(), number) == f.delayBatches.end())
            delay = 0;
    }
    entry.dbBefore = m_settings.database;
    if (drop) {
        entry.dropped = true;
        m_ctx.log.batch(entry);
        close("dropped on batch " + std::to_string(number) + " (fault drop_on_batch)");
        return;
    }
    if (delay > 0 && !delayCancellably(delay, entry))
        return;

    std::string serverName;
    BatchResult result;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        serverName = m_ctx.state.catalogue.serverName;
        result = executeBatch(entry.sql, m_ctx.state.catalogue, m_settings);
    }
    entry.errors = result.errorNumbers();
    TokenWriter w(m_tds, serverName);
    w.batch(result);
    m_ctx.log.batch(entry);
    send(w.take());
}

void Session::onRpc(const RequestMessage& m)
{
    const std::string body = stripAllHeaders(m.payload, "RPC");
    std::string name = "RPC";
    if (body.size() >= 2) {
        const std::uint16_t len = le16(body, 0);
        if (len == 0xFFFF && body.size() >= 4) {
            static const char* const kIds[] = {"",
                                               "sp_cursor",
                                               "sp_cursoropen",
                                               "sp_cursorprepare",
                                               "sp_cursorexecute",
                                               "sp_cursorprepexec",
                                               "sp_cursorunprepare",
                                               "sp_cursorfetch",
                                               "sp_cursoroption",
                                               "sp_cursorclose",
                                               "sp_executesql",
                                               "sp_prepare",
                                               "sp_execute",
                                               "sp_prepexec",
                                               "sp_prepexecrpc",
                                               "sp_unprepare"};
            const std::uint16_t id = le16(body, 2);
            name = id < std::size(kIds) ? kIds[id] : "procedure " + std::to_string(id);
        } else if (len <= 128 && body.size() >= 2 + std::size_t{len} * 2) {
            name = utf16leToUtf8(std::string_view(body).substr(2, std::size_t{len} * 2));
        }
    }
    m_ctx.diagnostics.line("conn " + std::to_string(m_conn) +
                           ": RPC requests are not modelled; answered " + name + " with 2812");
    BatchEntry entry{m_conn, m_login, m_settings.database, "RPC " + name, {2812}, false, false};
    std::string serverName;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        ++m_ctx.state.batchesReceived;
        serverName = m_ctx.state.catalogue.serverName;
    }
    TokenWriter w(m_tds, serverName);
    w.message({2812, 62, 16, "Could not find stored procedure '" + name + "'.", "", 1});
    w.done(DoneKind::DoneProc, kDoneError, kCmdNone, 0);
    m_ctx.log.batch(entry);
    send(w.take());
}

void Session::onTransactionManager(const RequestMessage& m)
{
    const std::string body = stripAllHeaders(m.payload, "transaction manager request");
    if (body.size() < 2)
        throw ProtocolError("transaction manager request without a type");
    const std::uint16_t type = le16(body, 0);
    std::string serverName;
    {
        std::lock_guard lock(m_ctx.state.mutex);
        serverName = m_ctx.state.catalogue.serverName;
    }
    TokenWriter w(m_tds, serverName);
    enum { kBegin = 5, kCommit = 7, kRollback = 8 };
    if (type == kBegin) {
        m_settings.tranCount = 1;
        w.envChangeBinary(kEnvBeginTransaction, descriptor(++m_transactionId), {});
    } else if (type == kCommit || type == kRollback) {
        // Commit and rollback may carry "and begin a new one" after the transaction name.
        bool beginAgain = false;
        if (body.size() >= 3) {
            const std::size_t nameLen = static_cast<unsigned char>(body[2]);
            const std::size_t flagAt = 3 + nameLen * 2;
            if (flagAt < body.size())
                beginAgain = body[flagAt] != 0;
        }
        if (m_settings.tranCount == 0) {
            w.message(
                {type == kCommit ? 3902 : 3903, 1, 16,
                 type == kCommit
                     ? "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."
                     : "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.",
                 "", 1});
            w.done(DoneKind::Done, kDoneError, kCmdNone, 0);
            send(w.take());
            return;
        }
        w.envChangeBinary(type == kCommit ? kEnvCommitTransaction : kEnvRollbackTransaction, {},
                          descriptor(m_transactionId));
        m_settings.tranCount = 0;
        if (beginAgain) {
            m_settings.tranCount = 1;
            w.envChangeBinary(kEnvBeginTransaction, descriptor(++m_transactionId), {});
        }
    } else {
        throw ProtocolError("transaction manager request type " + std::to_string(type) +
                            " is not supported");
    }
    w.done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
    send(w.take());
}

} // namespace testserver
