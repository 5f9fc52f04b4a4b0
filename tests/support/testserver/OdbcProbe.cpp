#include "OdbcProbe.h"

#include <clocale>

#include <sql.h>
#include <sqlext.h>

namespace probe {

namespace {

std::u16string toWide(const std::string& s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        int n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (int k = 1; k < n && i + static_cast<std::size_t>(k) < s.size(); ++k)
            cp =
                (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
        i += static_cast<std::size_t>(n);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string toUtf8(const SQLWCHAR* w, std::size_t n)
{
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = w[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

Rc toRc(SQLRETURN r)
{
    switch (r) {
    case SQL_SUCCESS:
        return Rc::Success;
    case SQL_SUCCESS_WITH_INFO:
        return Rc::SuccessWithInfo;
    case SQL_NO_DATA:
        return Rc::NoData;
    case SQL_ERROR:
        return Rc::Error;
    default:
        return Rc::Other;
    }
}

void collect(SQLSMALLINT type, SQLHANDLE h, std::vector<Diagnostic>& out)
{
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> text(512);
        SQLSMALLINT len = 0;
        SQLRETURN r = SQLGetDiagRecW(type, h, i, state, &native, text.data(),
                                     static_cast<SQLSMALLINT>(text.size()), &len);
        if (r == SQL_SUCCESS_WITH_INFO && len >= static_cast<SQLSMALLINT>(text.size())) {
            text.resize(static_cast<std::size_t>(len) + 1);
            r = SQLGetDiagRecW(type, h, i, state, &native, text.data(),
                               static_cast<SQLSMALLINT>(text.size()), &len);
        }
        if (r != SQL_SUCCESS && r != SQL_SUCCESS_WITH_INFO)
            break;
        out.push_back({toUtf8(state, 5), static_cast<int>(native),
                       toUtf8(text.data(), static_cast<std::size_t>(len))});
    }
}

void readResult(SQLHSTMT st, Step& step)
{
    SQLSMALLINT cols = 0;
    SQLNumResultCols(st, &cols);
    SQLLEN count = -1;
    SQLRowCount(st, &count);
    step.rowCount = static_cast<long>(count);
    for (SQLSMALLINT c = 1; c <= cols; ++c) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(st, static_cast<SQLUSMALLINT>(c), name, 256, &nameLen, &type, &size,
                        &digits, &nullable);
        step.columnNames.push_back(toUtf8(name, static_cast<std::size_t>(nameLen)));
        step.columnTypes.push_back(type);
    }
    if (cols == 0)
        return;
    for (;;) {
        const SQLRETURN f = SQLFetch(st);
        if (f == SQL_SUCCESS_WITH_INFO || f == SQL_ERROR)
            collect(SQL_HANDLE_STMT, st, step.diagnostics);
        if (f != SQL_SUCCESS && f != SQL_SUCCESS_WITH_INFO)
            break;
        std::vector<std::optional<std::string>> row;
        for (SQLSMALLINT c = 1; c <= cols; ++c) {
            std::u16string value;
            bool isNull = false;
            for (;;) {
                SQLWCHAR buf[1024];
                SQLLEN ind = 0;
                const SQLRETURN g = SQLGetData(st, static_cast<SQLUSMALLINT>(c), SQL_C_WCHAR, buf,
                                               sizeof buf, &ind);
                if (g == SQL_NO_DATA)
                    break;
                if (g != SQL_SUCCESS && g != SQL_SUCCESS_WITH_INFO)
                    break;
                if (ind == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                const std::size_t chars =
                    ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf)
                        ? sizeof buf / sizeof(SQLWCHAR) - 1
                        : static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
                value.append(reinterpret_cast<const char16_t*>(buf), chars);
                if (g == SQL_SUCCESS)
                    break;
            }
            if (isNull)
                row.push_back(std::nullopt);
            else
                row.push_back(
                    toUtf8(reinterpret_cast<const SQLWCHAR*>(value.data()), value.size()));
        }
        step.rows.push_back(std::move(row));
    }
}

} // namespace

const char* toString(Rc rc)
{
    switch (rc) {
    case Rc::Success:
        return "SQL_SUCCESS";
    case Rc::SuccessWithInfo:
        return "SQL_SUCCESS_WITH_INFO";
    case Rc::NoData:
        return "SQL_NO_DATA";
    case Rc::Error:
        return "SQL_ERROR";
    default:
        return "other";
    }
}

bool Step::hasNative(int native) const
{
    for (const Diagnostic& d : diagnostics)
        if (d.native == native)
            return true;
    return false;
}

std::string Step::allText() const
{
    std::string out;
    for (const Diagnostic& d : diagnostics)
        out += d.state + "/" + std::to_string(d.native) + " " + d.text + "\n";
    return out;
}

std::string connectionString(int port, const std::string& user, const std::string& password,
                             const std::string& database)
{
    std::string s = "DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=" + std::to_string(port) + ";UID={" +
                    user + "};PWD={" + password + "};";
    if (!database.empty())
        s += "DATABASE={" + database + "};";
    return s + "ClientCharset=UTF-8;";
}

Connection::Connection()
{
    // The driver converts names correctly only in a UTF-8 locale.
    std::setlocale(LC_ALL, "C.UTF-8");
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_env);
    SQLSetEnvAttr(m_env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, m_env, &m_dbc);
}

Connection::~Connection()
{
    if (m_connected)
        SQLDisconnect(m_dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, m_env);
}

Rc Connection::connect(const std::string& cs, int loginTimeoutSeconds)
{
    if (loginTimeoutSeconds > 0)
        SQLSetConnectAttr(m_dbc, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)),
                          0);
    std::u16string w = toWide(cs);
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN r = SQLDriverConnectW(m_dbc, nullptr, reinterpret_cast<SQLWCHAR*>(w.data()),
                                          SQL_NTS, out, 1024, &outLen, SQL_DRIVER_NOPROMPT);
    m_connectDiags.clear();
    collect(SQL_HANDLE_DBC, m_dbc, m_connectDiags);
    m_connected = SQL_SUCCEEDED(r);
    return toRc(r);
}

std::string Connection::dbmsVersion()
{
    SQLWCHAR buf[64];
    SQLSMALLINT len = 0;
    SQLGetInfoW(m_dbc, SQL_DBMS_VER, buf, sizeof buf, &len);
    return toUtf8(buf, static_cast<std::size_t>(len) / sizeof(SQLWCHAR));
}

std::vector<Step> Connection::run(const std::string& sql, int queryTimeoutSeconds)
{
    std::vector<Step> steps;
    SQLHSTMT st = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc, &st))) {
        Step s;
        s.call = "SQLAllocHandle";
        s.rc = Rc::Error;
        collect(SQL_HANDLE_DBC, m_dbc, s.diagnostics);
        steps.push_back(s);
        return steps;
    }
    if (queryTimeoutSeconds > 0)
        SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeoutSeconds)), 0);
    std::u16string w = toWide(sql);
    Step first;
    first.call = "SQLExecDirect";
    const SQLRETURN r = SQLExecDirectW(st, reinterpret_cast<SQLWCHAR*>(w.data()), SQL_NTS);
    first.rc = toRc(r);
    collect(SQL_HANDLE_STMT, st, first.diagnostics);
    if (SQL_SUCCEEDED(r))
        readResult(st, first);
    steps.push_back(first);
    // A bounded walk: a server that never ends its results must not hang the test.
    for (int i = 0; i < 1000; ++i) {
        Step s;
        s.call = "SQLMoreResults";
        const SQLRETURN m = SQLMoreResults(st);
        s.rc = toRc(m);
        if (m == SQL_NO_DATA)
            break;
        collect(SQL_HANDLE_STMT, st, s.diagnostics);
        if (SQL_SUCCEEDED(m))
            readResult(st, s);
        steps.push_back(s);
        if (m != SQL_SUCCESS && m != SQL_SUCCESS_WITH_INFO && m != SQL_ERROR)
            break;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, st);
    return steps;
}

std::vector<std::string> Connection::column(const std::string& sql)
{
    std::vector<std::string> out;
    for (const Step& s : run(sql)) {
        if (s.columnNames.empty())
            continue;
        for (const auto& row : s.rows)
            out.push_back(row.empty() || !row[0] ? std::string() : *row[0]);
        break;
    }
    return out;
}

} // namespace probe
