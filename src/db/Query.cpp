#include "db/Query.h"

#include "db/Diagnostics.h"
#include "db/Handles.h"

#include <algorithm>

namespace db {

struct Query::Statement {
    odbc::StatementHandle handle;
    std::vector<QString> names; // of the row set's columns
    std::vector<QString> row;   // the current row, read whole on each step
    bool eof = true;
};

namespace {

// A failure that means the link to the server is gone, not that a statement failed.
bool linkLost(const std::vector<Diagnostic>& records)
{
    return std::any_of(records.begin(), records.end(), [](const Diagnostic& r) {
        return r.state.startsWith(u"08") || r.native == 20017 || r.native == 20004 ||
               r.native == 20006;
    });
}

} // namespace

Query::Query(Connection& connection, QString name)
    : m_connection(connection), m_name(std::move(name))
{
    m_connection.m_queries.push_back(this);
}

Query::~Query()
{
    close();
    std::erase(m_connection.m_queries, this);
}

bool Query::active() const
{
    return m_statement != nullptr;
}

void Query::close()
{
    m_statement.reset();
}

QString Query::noResultSetText() const
{
    return m_name + QStringLiteral(": CommandText does not return a result set");
}

void Query::fail(std::vector<Diagnostic> records, const QString& fallback)
{
    close();
    if (linkLost(records)) {
        m_connection.lost();
    }
    odbc::raise(std::move(records), fallback);
}

void Query::keepMessages(const std::vector<Diagnostic>& records)
{
    for (Diagnostic& record : odbc::informational(records)) {
        m_messages.push_back(std::move(record));
    }
}

void Query::open()
{
    close();
    m_messages.clear();
    if (!m_connection.connected()) {
        // As a query over a closed connection does elsewhere: connect with the connection's
        // own string first.
        m_connection.setConnected(true);
    }

    SQLHANDLE connection = m_connection.nativeHandle();
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle))) {
        fail(odbc::readDiagnostics(SQL_HANDLE_DBC, connection),
             m_name + QStringLiteral(": the server connection cannot take a query"));
    }
    m_statement = std::make_unique<Statement>();
    m_statement->handle = odbc::StatementHandle(handle);
    SQLSetStmtAttrW(handle, SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(intptr_t(m_commandTimeout)), 0);

    SQLRETURN rc;
    {
        Connection::WaitScope wait(m_connection);
        rc = SQLExecDirectW(handle, odbc::wide(m_sql), SQL_NTS);
    }
    for (;;) {
        std::vector<Diagnostic> records = odbc::readDiagnostics(SQL_HANDLE_STMT, handle);
        if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
            fail(std::move(records), noResultSetText());
        }
        keepMessages(records);
        if (rc != SQL_NO_DATA) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(handle, &columns);
            if (columns > 0) {
                describe(columns);
                fetch();
                return;
            }
        }
        {
            Connection::WaitScope wait(m_connection);
            rc = SQLMoreResults(handle);
        }
        if (rc == SQL_NO_DATA) {
            close();
            throw Error(noResultSetText());
        }
    }
}

void Query::describe(int columns)
{
    SQLHANDLE handle = m_statement->handle.get();
    m_statement->names.clear();
    for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        SQLDescribeColW(handle, column, name, SQLSMALLINT(std::size(name)), &nameLength, &type,
                        &size, &digits, &nullable);
        nameLength = std::clamp<SQLSMALLINT>(nameLength, 0, SQLSMALLINT(std::size(name) - 1));
        m_statement->names.push_back(odbc::fromWide(name, nameLength));
    }
}

void Query::fetch()
{
    SQLHANDLE handle = m_statement->handle.get();
    const SQLRETURN rc = SQLFetch(handle);
    if (rc == SQL_NO_DATA) {
        m_statement->eof = true;
        m_statement->row.clear();
        return;
    }
    if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR) {
        std::vector<Diagnostic> records = odbc::readDiagnostics(SQL_HANDLE_STMT, handle);
        if (rc == SQL_ERROR) {
            fail(std::move(records), m_name + QStringLiteral(": reading a row failed"));
        }
        keepMessages(records);
    }
    m_statement->eof = false;
    m_statement->row.resize(m_statement->names.size());
    for (size_t i = 0; i < m_statement->names.size(); ++i) {
        m_statement->row[i] = readColumn(SQLUSMALLINT(i + 1));
    }
}

QString Query::readColumn(unsigned short column)
{
    SQLHANDLE handle = m_statement->handle.get();
    QString value;
    SQLWCHAR buffer[512];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(handle, column, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA || indicator == SQL_NULL_DATA) {
            return value;
        }
        if (!odbc::succeeded(rc)) {
            fail(odbc::readDiagnostics(SQL_HANDLE_STMT, handle),
                 m_name + QStringLiteral(": reading a column failed"));
        }
        const qsizetype room = qsizetype(std::size(buffer)) - 1;
        const qsizetype length = indicator == SQL_NO_TOTAL
                                     ? room
                                     : std::min<qsizetype>(indicator / sizeof(SQLWCHAR), room);
        value += odbc::fromWide(buffer, length);
        if (rc == SQL_SUCCESS) {
            return value;
        }
        // SQL_SUCCESS_WITH_INFO: the value was longer than the buffer; the rest follows.
    }
}

bool Query::eof() const
{
    return !m_statement || m_statement->eof;
}

void Query::next()
{
    if (!eof()) {
        fetch();
    }
}

int Query::fieldCount() const
{
    return m_statement ? int(m_statement->names.size()) : 0;
}

QString Query::field(int position) const
{
    if (!m_statement || position < 0 || size_t(position) >= m_statement->names.size()) {
        throw Error(m_name + QStringLiteral(": Field index %1 out of range").arg(position));
    }
    if (m_statement->eof) {
        throw Error(m_name + QStringLiteral(": there is no current row"));
    }
    return m_statement->row[size_t(position)];
}

QString Query::fieldByName(const QString& name) const
{
    if (m_statement) {
        const auto& names = m_statement->names;
        for (size_t i = 0; i < names.size(); ++i) {
            if (names[i].compare(name, Qt::CaseInsensitive) == 0) {
                return field(int(i));
            }
        }
    }
    throw Error(m_name + QStringLiteral(": Field '%1' not found").arg(name));
}

void Query::finishBatch()
{
    if (!m_statement) {
        return;
    }
    SQLHANDLE handle = m_statement->handle.get();
    m_statement->eof = true;
    m_statement->row.clear();
    std::vector<Diagnostic> firstFailure;
    for (;;) {
        SQLRETURN rc;
        {
            Connection::WaitScope wait(m_connection);
            rc = SQLMoreResults(handle);
        }
        if (rc == SQL_NO_DATA) {
            break;
        }
        std::vector<Diagnostic> records = odbc::readDiagnostics(SQL_HANDLE_STMT, handle);
        if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
            const bool lost = linkLost(records) || records.empty();
            if (firstFailure.empty()) {
                firstFailure = std::move(records);
            }
            if (lost) {
                break; // nothing more will come over this link
            }
            continue; // the server goes on with the batch after a run-time error
        }
        keepMessages(records);
    }
    if (!firstFailure.empty()) {
        fail(std::move(firstFailure), m_name + QStringLiteral(": the batch failed"));
    }
}

} // namespace db
