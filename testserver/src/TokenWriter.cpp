#include "TokenWriter.h"

#include "Framing.h"
#include "Text.h"

#include <cstring>

namespace testserver {

namespace {

enum TokenType : std::uint8_t {
    kTokReturnStatus = 0x79,
    kTokColMetadata = 0x81,
    kTokError = 0xAA,
    kTokInfo = 0xAB,
    kTokLoginAck = 0xAD,
    kTokRow = 0xD1,
    kTokEnvChange = 0xE3,
    kTokDone = 0xFD,
    kTokDoneProc = 0xFE,
    kTokDoneInProc = 0xFF,
};

enum DataType : std::uint8_t {
    kInt2 = 0x34,
    kInt4 = 0x38,
    kFlt4 = 0x3B,
    kIntN = 0x26,
    kFltN = 0x6D,
    kSqlVariant = 0x62,
    kBigVarChar = 0xA7,
    kNVarChar = 0xE7,
    kNChar = 0xEF,
};

std::u16string cutUnits(std::string_view utf8, std::size_t maxUnits)
{
    std::u16string u = utf8ToUtf16(utf8);
    if (u.size() > maxUnits) {
        u.resize(maxUnits);
        if (!u.empty() && u.back() >= 0xD800 && u.back() <= 0xDBFF)
            u.pop_back();
    }
    return u;
}

void putUnits(ByteWriter& w, const std::u16string& u)
{
    for (char16_t c : u)
        w.u16(static_cast<std::uint16_t>(c));
}

} // namespace

void ByteWriter::u16(std::uint16_t v)
{
    u8(v & 0xFF);
    u8(v >> 8);
}

void ByteWriter::u32(std::uint32_t v)
{
    u16(v & 0xFFFF);
    u16(v >> 16);
}

void ByteWriter::u64(std::uint64_t v)
{
    u32(static_cast<std::uint32_t>(v));
    u32(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::u32be(std::uint32_t v)
{
    u8(v >> 24);
    u8((v >> 16) & 0xFF);
    u8((v >> 8) & 0xFF);
    u8(v & 0xFF);
}

void ByteWriter::u16be(std::uint16_t v)
{
    u8(v >> 8);
    u8(v & 0xFF);
}

void ByteWriter::utf16(std::string_view utf8)
{
    putUnits(*this, utf8ToUtf16(utf8));
}

void ByteWriter::bVarChar(std::string_view utf8)
{
    const std::u16string u = cutUnits(utf8, 255);
    u8(static_cast<std::uint8_t>(u.size()));
    putUnits(*this, u);
}

void ByteWriter::usVarChar(std::string_view utf8)
{
    // Room for the rest of an INFO/ERROR token inside its 16-bit length.
    const std::u16string u = cutUnits(utf8, 30000);
    u16(static_cast<std::uint16_t>(u.size()));
    putUnits(*this, u);
}

std::size_t ByteWriter::beginLength16()
{
    const std::size_t mark = m_buf.size();
    u16(0);
    return mark;
}

void ByteWriter::endLength16(std::size_t mark)
{
    const std::size_t len = m_buf.size() - mark - 2;
    // Every caller bounds its content well below this; exceeding it is a bug, not input.
    if (len > 0xFFFF)
        throw std::logic_error("token longer than its 16-bit length");
    m_buf[mark] = static_cast<char>(len & 0xFF);
    m_buf[mark + 1] = static_cast<char>(len >> 8);
}

TokenWriter::TokenWriter(std::uint32_t tdsVersion, std::string serverName)
    : m_tds(tdsVersion), m_serverName(std::move(serverName))
{
}

void TokenWriter::envChange(EnvChangeType type, std::string_view newValue,
                            std::string_view oldValue)
{
    m_w.u8(kTokEnvChange);
    const auto mark = m_w.beginLength16();
    m_w.u8(type);
    m_w.bVarChar(newValue);
    m_w.bVarChar(oldValue);
    m_w.endLength16(mark);
}

void TokenWriter::envChangeCollation(std::string_view collation)
{
    m_w.u8(kTokEnvChange);
    const auto mark = m_w.beginLength16();
    m_w.u8(kEnvSqlCollation);
    m_w.u8(static_cast<std::uint8_t>(collation.size()));
    m_w.bytes(collation);
    m_w.u8(0);
    m_w.endLength16(mark);
}

void TokenWriter::envChangeBinary(std::uint8_t type, std::string_view newValue,
                                  std::string_view oldValue)
{
    m_w.u8(kTokEnvChange);
    const auto mark = m_w.beginLength16();
    m_w.u8(type);
    m_w.u8(static_cast<std::uint8_t>(newValue.size()));
    m_w.bytes(newValue);
    m_w.u8(static_cast<std::uint8_t>(oldValue.size()));
    m_w.bytes(oldValue);
    m_w.endLength16(mark);
}

void TokenWriter::message(const Message& m)
{
    m_w.u8(m.isError() ? kTokError : kTokInfo);
    const auto mark = m_w.beginLength16();
    m_w.u32(static_cast<std::uint32_t>(m.number));
    m_w.u8(static_cast<std::uint8_t>(m.state));
    m_w.u8(static_cast<std::uint8_t>(m.severity));
    m_w.usVarChar(m.text);
    m_w.bVarChar(m_serverName);
    m_w.bVarChar(m.procedure);
    if (tds72())
        m_w.u32(static_cast<std::uint32_t>(m.line));
    else
        m_w.u16(static_cast<std::uint16_t>(m.line));
    m_w.endLength16(mark);
}

void TokenWriter::loginAck(std::uint32_t tdsVersion, std::string_view progName, int major,
                           int minor, int build)
{
    m_w.u8(kTokLoginAck);
    const auto mark = m_w.beginLength16();
    m_w.u8(1); // SQL_TSQL
    m_w.u32be(tdsVersion);
    m_w.bVarChar(progName);
    m_w.u8(static_cast<std::uint8_t>(major));
    m_w.u8(static_cast<std::uint8_t>(minor));
    m_w.u8(static_cast<std::uint8_t>(build >> 8));
    m_w.u8(static_cast<std::uint8_t>(build & 0xFF));
    m_w.endLength16(mark);
}

void TokenWriter::done(DoneKind kind, std::uint16_t status, std::uint16_t curCmd,
                       std::uint64_t rowCount)
{
    m_w.u8(kind == DoneKind::Done       ? kTokDone
           : kind == DoneKind::DoneProc ? kTokDoneProc
                                        : kTokDoneInProc);
    m_w.u16(status);
    m_w.u16(curCmd);
    if (tds72())
        m_w.u64(rowCount);
    else
        m_w.u32(static_cast<std::uint32_t>(rowCount));
}

void TokenWriter::returnStatus(int value)
{
    m_w.u8(kTokReturnStatus);
    m_w.u32(static_cast<std::uint32_t>(value));
}

void TokenWriter::columnType(const Column& c)
{
    switch (c.type) {
    case ColumnType::NVarChar:
    case ColumnType::NChar:
        m_w.u8(c.type == ColumnType::NChar ? kNChar : kNVarChar);
        m_w.u16(static_cast<std::uint16_t>(c.length * 2));
        m_w.bytes(kDefaultCollation);
        break;
    case ColumnType::VarChar:
        m_w.u8(kBigVarChar);
        m_w.u16(static_cast<std::uint16_t>(c.length));
        m_w.bytes(kDefaultCollation);
        break;
    case ColumnType::Int:
    case ColumnType::SmallInt:
        if (c.nullable) {
            m_w.u8(kIntN);
            m_w.u8(c.type == ColumnType::Int ? 4 : 2);
        } else {
            m_w.u8(c.type == ColumnType::Int ? kInt4 : kInt2);
        }
        break;
    case ColumnType::Real:
        if (c.nullable) {
            m_w.u8(kFltN);
            m_w.u8(4);
        } else {
            m_w.u8(kFlt4);
        }
        break;
    case ColumnType::Variant:
        m_w.u8(kSqlVariant);
        m_w.u32(8009);
        break;
    }
}

void TokenWriter::value(const Column& c, const Value& v)
{
    const bool isNull = std::holds_alternative<std::monostate>(v);
    switch (c.type) {
    case ColumnType::NVarChar:
    case ColumnType::NChar: {
        if (isNull) {
            m_w.u16(0xFFFF);
            break;
        }
        const std::string* s = std::get_if<std::string>(&v);
        std::u16string u = cutUnits(s ? *s : std::string(), static_cast<std::size_t>(c.length));
        if (c.type == ColumnType::NChar)
            u.resize(static_cast<std::size_t>(c.length), u' ');
        m_w.u16(static_cast<std::uint16_t>(u.size() * 2));
        putUnits(m_w, u);
        break;
    }
    case ColumnType::VarChar: {
        if (isNull) {
            m_w.u16(0xFFFF);
            break;
        }
        const std::string* s = std::get_if<std::string>(&v);
        std::string b = utf8ToCp1252(s ? *s : std::string());
        if (b.size() > static_cast<std::size_t>(c.length))
            b.resize(static_cast<std::size_t>(c.length));
        m_w.u16(static_cast<std::uint16_t>(b.size()));
        m_w.bytes(b);
        break;
    }
    case ColumnType::Int:
    case ColumnType::SmallInt: {
        const std::size_t width = c.type == ColumnType::Int ? 4 : 2;
        if (c.nullable)
            m_w.u8(isNull ? 0 : static_cast<std::uint8_t>(width));
        if (isNull && c.nullable)
            break;
        const std::int64_t n = isNull ? 0 : std::get<std::int64_t>(v);
        if (width == 4)
            m_w.u32(static_cast<std::uint32_t>(static_cast<std::int32_t>(n)));
        else
            m_w.u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(n)));
        break;
    }
    case ColumnType::Real: {
        if (c.nullable)
            m_w.u8(isNull ? 0 : 4);
        if (isNull && c.nullable)
            break;
        const auto f = static_cast<float>(isNull ? 0.0 : std::get<double>(v));
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        m_w.u32(bits);
        break;
    }
    case ColumnType::Variant: {
        const std::string* s = std::get_if<std::string>(&v);
        if (!s) {
            m_w.u32(0);
            break;
        }
        const std::u16string u = cutUnits(*s, 4000);
        m_w.u32(static_cast<std::uint32_t>(2 + 7 + u.size() * 2));
        m_w.u8(kNVarChar);
        m_w.u8(7);
        m_w.bytes(kDefaultCollation);
        m_w.u16(256);
        putUnits(m_w, u);
        break;
    }
    }
}

void TokenWriter::rowSet(const RowSet& rs)
{
    m_w.u8(kTokColMetadata);
    m_w.u16(static_cast<std::uint16_t>(rs.columns.size()));
    for (const Column& c : rs.columns) {
        if (tds72())
            m_w.u32(0);
        else
            m_w.u16(0);
        m_w.u16(c.nullable ? 0x0001 : 0x0000);
        columnType(c);
        m_w.bVarChar(c.name);
    }
    for (const auto& row : rs.rows) {
        m_w.u8(kTokRow);
        for (std::size_t i = 0; i < rs.columns.size(); ++i) {
            static const Value kNull;
            value(rs.columns[i], i < row.size() ? row[i] : kNull);
        }
    }
}

void TokenWriter::batch(const BatchResult& result)
{
    std::size_t lastDone = result.items.size();
    for (std::size_t i = 0; i < result.items.size(); ++i)
        if (std::holds_alternative<Done>(result.items[i]))
            lastDone = i;
    for (std::size_t i = 0; i < result.items.size(); ++i) {
        const ResultItem& item = result.items[i];
        if (const auto* m = std::get_if<Message>(&item)) {
            message(*m);
        } else if (const auto* rs = std::get_if<RowSet>(&item)) {
            rowSet(*rs);
        } else if (const auto* db = std::get_if<DatabaseChange>(&item)) {
            envChange(kEnvDatabase, db->newName, db->oldName);
        } else if (const auto* rv = std::get_if<ReturnStatus>(&item)) {
            returnStatus(rv->value);
        } else if (const auto* d = std::get_if<Done>(&item)) {
            std::uint16_t status = 0;
            if (i != lastDone)
                status |= kDoneMore;
            if (d->error)
                status |= kDoneError;
            if (d->hasCount)
                status |= kDoneCount;
            done(d->kind, status, d->curCmd, static_cast<std::uint64_t>(d->rowCount));
        }
    }
    if (lastDone == result.items.size())
        done(DoneKind::Done, kDoneFinal, kCmdNone, 0);
}

} // namespace testserver
