#pragma once
// TDS packet framing: the 8-byte header, reassembly of a message from its packets with a
// bound per message type, and splitting an outgoing message into packets of the negotiated
// size. Knows nothing of tokens or sockets. Used by the session.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace testserver {

// Malformed or hostile input: the session closes the connection and logs the reason.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum PacketType : std::uint8_t {
    kSqlBatch = 0x01,
    kPreTds7Login = 0x02,
    kRpc = 0x03,
    kTabularResult = 0x04,
    kAttention = 0x06,
    kBulkLoad = 0x07,
    kTransactionManager = 0x0E,
    kLogin7 = 0x10,
    kSspi = 0x11,
    kPrelogin = 0x12,
};

enum PacketStatus : std::uint8_t {
    kEndOfMessage = 0x01,
    kIgnore = 0x02,
    kResetConnection = 0x08,
    kResetConnectionSkipTran = 0x10,
};

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kMinPacketSize = 512;
constexpr std::size_t kMaxPacketSize = 32767;
constexpr std::size_t kDefaultPacketSize = 4096;

struct PacketHeader {
    std::uint8_t type = 0;
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    std::uint16_t spid = 0;
    std::uint8_t packetId = 0;
    std::uint8_t window = 0;
};

// Throws ProtocolError for a length outside [8, kMaxPacketSize].
PacketHeader parseHeader(const unsigned char* bytes);

// The largest message of each type this server accepts; 0 for types it never accepts.
std::size_t maxMessageSize(std::uint8_t type);
std::string packetTypeName(std::uint8_t type);

struct RequestMessage {
    std::uint8_t type = 0;
    std::uint8_t firstStatus = 0;
    std::string payload;
};

// Collects the packets of one message. A packet of another type in the middle of a message,
// a type this server does not take, or a message over its bound is a ProtocolError.
class MessageAssembler {
public:
    // Returns the message once its last packet arrived; nullopt while more are expected and
    // for a message the client marked to be ignored.
    std::optional<RequestMessage> add(const PacketHeader& header, std::string_view payload);
    bool inProgress() const { return m_active; }

private:
    bool m_active = false;
    RequestMessage m_current;
};

std::string framePackets(std::uint8_t type, std::string_view payload, std::size_t packetSize,
                         std::uint16_t spid);

} // namespace testserver
