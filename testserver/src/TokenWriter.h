#pragma once
// Encodes the server's side of the token stream: ENVCHANGE, INFO/ERROR, LOGINACK,
// COLMETADATA/ROW, RETURNSTATUS and the DONE family, in the layout of the negotiated TDS
// version (7.1 has 2-byte user types and line numbers and 4-byte row counts). Lengths are
// written as placeholders and patched once the token is complete. Used by the session.

#include "Results.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace testserver {

// Little-endian byte buffer with back-patched length fields.
class ByteWriter {
public:
    void u8(std::uint8_t v) { m_buf += static_cast<char>(v); }
    void u16(std::uint16_t v);
    void u32(std::uint32_t v);
    void u64(std::uint64_t v);
    void u32be(std::uint32_t v);
    void u16be(std::uint16_t v);
    void bytes(std::string_view b) { m_buf.append(b); }
    void utf16(std::string_view utf8);
    // Length-prefixed UTF-16 strings; too long a text is cut to fit its prefix.
    void bVarChar(std::string_view utf8);
    void usVarChar(std::string_view utf8);

    std::size_t beginLength16();
    void endLength16(std::size_t mark);

    std::size_t size() const { return m_buf.size(); }
    std::string take() { return std::move(m_buf); }
    const std::string& data() const { return m_buf; }

private:
    std::string m_buf;
};

enum EnvChangeType : std::uint8_t {
    kEnvDatabase = 1,
    kEnvLanguage = 2,
    kEnvPacketSize = 4,
    kEnvSqlCollation = 7,
    kEnvBeginTransaction = 8,
    kEnvCommitTransaction = 9,
    kEnvRollbackTransaction = 10,
};

constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds74 = 0x74000004;

// SQL_Latin1_General_CP1_CI_AS, the default server collation.
inline constexpr std::string_view kDefaultCollation{"\x09\x04\xD0\x00\x34", 5};

class TokenWriter {
public:
    TokenWriter(std::uint32_t tdsVersion, std::string serverName);

    void envChange(EnvChangeType type, std::string_view newValue, std::string_view oldValue);
    void envChangeCollation(std::string_view collation);
    void envChangeBinary(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
    void message(const Message& m);
    void loginAck(std::uint32_t tdsVersion, std::string_view progName, int major, int minor,
                  int build);
    void done(DoneKind kind, std::uint16_t status, std::uint16_t curCmd, std::uint64_t rowCount);
    void returnStatus(int value);
    void rowSet(const RowSet& rs);

    // A whole batch: every DONE but the last carries DONE_MORE.
    void batch(const BatchResult& result);

    std::string take() { return m_w.take(); }
    std::size_t size() const { return m_w.size(); }

private:
    bool tds72() const { return m_tds >= kTds72; }
    void columnType(const Column& c);
    void value(const Column& c, const Value& v);

    std::uint32_t m_tds;
    std::string m_serverName;
    ByteWriter m_w;
};

enum DoneStatus : std::uint16_t {
    kDoneFinal = 0x0000,
    kDoneMore = 0x0001,
    kDoneError = 0x0002,
    kDoneInXact = 0x0004,
    kDoneCount = 0x0010,
    kDoneAttention = 0x0020,
    kDoneSrvError = 0x0100,
};

} // namespace testserver
