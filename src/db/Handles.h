// Owners of the ODBC handles and the conversions between QString and SQLWCHAR. Private to the
// database layer: nothing outside src/db includes <sql.h>.
#pragma once

#include <utility>

#include <QString>

#include <sql.h>
#include <sqlext.h>

namespace db::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must speak UTF-16");

// One move-only owner per handle type; the destructor frees and never throws.
template <SQLSMALLINT Type> class Handle {
public:
    Handle() = default;
    explicit Handle(SQLHANDLE handle) : m_handle(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_handle = std::exchange(other.m_handle, nullptr);
        }
        return *this;
    }

    SQLHANDLE get() const { return m_handle; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }

    void reset()
    {
        if (m_handle != SQL_NULL_HANDLE) {
            SQLFreeHandle(Type, m_handle);
            m_handle = SQL_NULL_HANDLE;
        }
    }

private:
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};

using Environment = Handle<SQL_HANDLE_ENV>;
using ConnectionHandle = Handle<SQL_HANDLE_DBC>;
using StatementHandle = Handle<SQL_HANDLE_STMT>;

inline bool succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

inline SQLWCHAR* wide(const QString& text)
{
    // The driver manager takes non-const pointers for input strings it never writes.
    return reinterpret_cast<SQLWCHAR*>(const_cast<ushort*>(text.utf16()));
}

inline QString fromWide(const SQLWCHAR* text, qsizetype length)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

} // namespace db::odbc
