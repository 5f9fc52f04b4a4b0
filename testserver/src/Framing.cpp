#include "Framing.h"

#include <cstdio>

namespace testserver {

PacketHeader parseHeader(const unsigned char* b)
{
    PacketHeader h;
    h.type = b[0];
    h.status = b[1];
    h.length = static_cast<std::uint16_t>((b[2] << 8) | b[3]);
    h.spid = static_cast<std::uint16_t>((b[4] << 8) | b[5]);
    h.packetId = b[6];
    h.window = b[7];
    if (h.length < kHeaderSize)
        throw ProtocolError("packet length " + std::to_string(h.length) +
                            " is shorter than its header");
    if (h.length > kMaxPacketSize)
        throw ProtocolError("packet length " + std::to_string(h.length) + " exceeds " +
                            std::to_string(kMaxPacketSize));
    return h;
}

std::size_t maxMessageSize(std::uint8_t type)
{
    switch (type) {
    case kPrelogin:
        return 4096;
    case kLogin7:
        return 128 * 1024 - 1;
    case kSqlBatch:
        return 1024 * 1024;
    case kRpc:
        return 1024 * 1024;
    case kAttention:
        return 0;
    case kTransactionManager:
        return 4096;
    default:
        return 0;
    }
}

std::string packetTypeName(std::uint8_t type)
{
    switch (type) {
    case kSqlBatch:
        return "SQL batch";
    case kPreTds7Login:
        return "pre-7.0 login";
    case kRpc:
        return "RPC";
    case kTabularResult:
        return "tabular result";
    case kAttention:
        return "attention";
    case kBulkLoad:
        return "bulk load";
    case kTransactionManager:
        return "transaction manager";
    case kLogin7:
        return "LOGIN7";
    case kSspi:
        return "SSPI";
    case kPrelogin:
        return "PRELOGIN";
    default: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "type 0x%02X", type);
        return buf;
    }
    }
}

std::optional<RequestMessage> MessageAssembler::add(const PacketHeader& h, std::string_view payload)
{
    const bool accepted = h.type == kPrelogin || h.type == kLogin7 || h.type == kSqlBatch ||
                          h.type == kRpc || h.type == kAttention || h.type == kTransactionManager;
    if (!accepted)
        throw ProtocolError("unsupported packet " + packetTypeName(h.type));
    if (m_active && h.type != m_current.type && h.type != kAttention)
        throw ProtocolError(packetTypeName(h.type) + " packet inside a " +
                            packetTypeName(m_current.type) + " message");
    if (h.type == kAttention) {
        // An attention may interrupt a half-sent request; the request is abandoned.
        if (!payload.empty())
            throw ProtocolError("attention packet carries " + std::to_string(payload.size()) +
                                " bytes of data");
        m_active = false;
        m_current = {};
        return RequestMessage{kAttention, h.status, {}};
    }
    if (!m_active) {
        m_active = true;
        m_current = {};
        m_current.type = h.type;
        m_current.firstStatus = h.status;
    }
    if (m_current.payload.size() + payload.size() > maxMessageSize(h.type))
        throw ProtocolError(packetTypeName(h.type) + " message exceeds " +
                            std::to_string(maxMessageSize(h.type)) + " bytes");
    m_current.payload.append(payload);
    if (!(h.status & kEndOfMessage))
        return std::nullopt;
    m_active = false;
    if (h.status & kIgnore) {
        m_current = {};
        return std::nullopt;
    }
    return std::move(m_current);
}

std::string framePackets(std::uint8_t type, std::string_view payload, std::size_t packetSize,
                         std::uint16_t spid)
{
    const std::size_t chunk = packetSize - kHeaderSize;
    std::string out;
    out.reserve(payload.size() + (payload.size() / chunk + 1) * kHeaderSize);
    std::size_t pos = 0;
    std::uint8_t id = 1;
    do {
        const std::size_t n = std::min(chunk, payload.size() - pos);
        const bool last = pos + n == payload.size();
        const std::size_t len = n + kHeaderSize;
        out += static_cast<char>(type);
        out += static_cast<char>(last ? kEndOfMessage : 0);
        out += static_cast<char>(len >> 8);
        out += static_cast<char>(len & 0xFF);
        out += static_cast<char>(spid >> 8);
        out += static_cast<char>(spid & 0xFF);
        out += static_cast<char>(id++);
        out += '\0';
        out.append(payload.substr(pos, n));
        pos += n;
    } while (pos < payload.size());
    return out;
}

} // namespace testserver
