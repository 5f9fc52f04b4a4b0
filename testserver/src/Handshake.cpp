#include "Handshake.h"

#include "Framing.h"
#include "Text.h"
#include "TokenWriter.h"

#include <cstdio>

namespace testserver {

namespace {

std::uint16_t le16(std::string_view p, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[at]) |
                                      (static_cast<unsigned char>(p[at + 1]) << 8));
}

std::uint32_t le32(std::string_view p, std::size_t at)
{
    return le16(p, at) | (static_cast<std::uint32_t>(le16(p, at + 2)) << 16);
}

std::uint16_t be16(std::string_view p, std::size_t at)
{
    return static_cast<std::uint16_t>((static_cast<unsigned char>(p[at]) << 8) |
                                      static_cast<unsigned char>(p[at + 1]));
}

constexpr std::size_t kLoginFixedPart = 86; // the 7.1 layout; 7.2 adds 8 more bytes
constexpr std::size_t kMaxLoginNameChars = 128;

std::string loginField(std::string_view p, std::size_t end, std::size_t at, const char* what,
                       bool password = false)
{
    const std::size_t offset = le16(p, at);
    const std::size_t chars = le16(p, at + 2);
    if (chars == 0)
        return {};
    if (chars > kMaxLoginNameChars)
        throw ProtocolError(std::string("LOGIN7 ") + what + " is " + std::to_string(chars) +
                            " characters long");
    if (offset < kLoginFixedPart || offset + chars * 2 > end)
        throw ProtocolError(std::string("LOGIN7 ") + what + " lies outside the message");
    std::string raw(p.substr(offset, chars * 2));
    if (password) {
        for (char& c : raw) {
            // The client swapped the nibbles and then XORed with 0xA5; undo in reverse order.
            auto b = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xA5);
            b = static_cast<unsigned char>(((b << 4) | (b >> 4)) & 0xFF);
            c = static_cast<char>(b);
        }
    }
    return utf16leToUtf8(raw);
}

} // namespace

PreloginRequest parsePrelogin(std::string_view p)
{
    PreloginRequest r;
    std::size_t pos = 0;
    std::size_t options = 0;
    for (;;) {
        if (pos >= p.size())
            throw ProtocolError("PRELOGIN option list has no terminator");
        const auto token = static_cast<unsigned char>(p[pos]);
        if (token == 0xFF)
            break;
        if (pos + 5 > p.size())
            throw ProtocolError("PRELOGIN option list is cut short");
        if (++options > 32)
            throw ProtocolError("PRELOGIN has more than 32 options");
        const std::size_t offset = be16(p, pos + 1);
        const std::size_t length = be16(p, pos + 3);
        if (offset + length > p.size())
            throw ProtocolError("PRELOGIN option 0x" + std::to_string(token) +
                                " lies outside the message");
        if (token == 0x01) {
            if (length < 1)
                throw ProtocolError("PRELOGIN ENCRYPTION option is empty");
            r.hasEncryption = true;
            r.encryption = static_cast<std::uint8_t>(p[offset]);
        }
        pos += 5;
    }
    return r;
}

std::string preloginResponse(const Generation& g)
{
    struct Option {
        std::uint8_t token;
        std::string data;
    };
    std::string version;
    version += static_cast<char>(g.major);
    version += static_cast<char>(g.minor);
    version += static_cast<char>(g.build >> 8);
    version += static_cast<char>(g.build & 0xFF);
    version += std::string(2, '\0');
    const Option options[] = {
        {0x00, version},
        {0x01, std::string(1, '\x02')}, // ENCRYPT_NOT_SUP
        {0x02, std::string(1, '\0')},   // no instance name
        {0x03, {}},                     // the server sends no thread id
        {0x04, std::string(1, '\0')},   // MARS off
    };
    const std::size_t listSize = std::size(options) * 5 + 1;
    ByteWriter w;
    std::size_t offset = listSize;
    for (const Option& o : options) {
        w.u8(o.token);
        w.u16be(static_cast<std::uint16_t>(offset));
        w.u16be(static_cast<std::uint16_t>(o.data.size()));
        offset += o.data.size();
    }
    w.u8(0xFF);
    for (const Option& o : options)
        w.bytes(o.data);
    return w.take();
}

LoginRequest parseLogin7(std::string_view p)
{
    if (p.size() < kLoginFixedPart)
        throw ProtocolError("LOGIN7 of " + std::to_string(p.size()) +
                            " bytes is shorter than its fixed part");
    LoginRequest r;
    const std::uint32_t length = le32(p, 0);
    if (length < kLoginFixedPart || length > p.size())
        throw ProtocolError("LOGIN7 length field " + std::to_string(length) +
                            " does not match the message of " + std::to_string(p.size()) +
                            " bytes");
    r.tdsVersion = le32(p, 4);
    r.packetSize = le32(p, 8);
    const auto flags2 = static_cast<std::uint8_t>(p[25]);
    r.odbc = (flags2 & 0x02) != 0;
    r.integratedSecurity = (flags2 & 0x80) != 0;
    r.hostName = loginField(p, length, 36, "host name");
    r.userName = loginField(p, length, 40, "user name");
    r.password = loginField(p, length, 44, "password", true);
    r.appName = loginField(p, length, 48, "application name");
    r.serverName = loginField(p, length, 52, "server name");
    r.language = loginField(p, length, 64, "language");
    r.database = loginField(p, length, 68, "database");
    return r;
}

std::uint32_t negotiateTdsVersion(std::uint32_t client, std::uint32_t server)
{
    // TDS 7.1 before SQL Server 2000 SP1 was written 0x07010000.
    if (client == 0x07010000)
        client = kTds71;
    if (client < kTds71) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "client asks for TDS version 0x%08X, older than 7.1",
                      client);
        throw ProtocolError(buf);
    }
    return std::min(client, server);
}

} // namespace testserver
