#include "db/Connection.h"

#include "db/ConnectionString.h"
#include "db/Diagnostics.h"
#include "db/Handles.h"
#include "db/Query.h"

#include <algorithm>

namespace db {

Error::Error(const QString& text, std::vector<Diagnostic> records)
    : std::runtime_error(text.toStdString()), m_records(std::move(records))
{
}

struct Connection::Handles {
    odbc::Environment environment;
    odbc::ConnectionHandle connection;
    QString serverVersion;
};

namespace {

bool driverMissing(const std::vector<Diagnostic>& records)
{
    return std::any_of(records.begin(), records.end(),
                       [](const Diagnostic& r) { return r.state == u"IM002"; });
}

} // namespace

Connection::Connection() = default;

Connection::~Connection()
{
    setConnected(false);
}

bool Connection::connected() const
{
    return m_handles != nullptr;
}

QString Connection::serverVersion() const
{
    return m_handles ? m_handles->serverVersion : QString();
}

void Connection::setConnected(bool on)
{
    if (!on) {
        for (Query* query : m_queries) {
            query->close();
        }
        if (m_handles) {
            SQLDisconnect(m_handles->connection.get());
            m_handles.reset(); // frees the connection handle before the environment
        }
        return;
    }
    if (connected()) {
        return;
    }

    const QString odbcString = odbcConnectionString(m_connectionString);
    auto handles = std::make_unique<Handles>();

    SQLHANDLE environment = SQL_NULL_HANDLE;
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
        throw Error(QStringLiteral("The ODBC driver manager could not be initialised"));
    }
    handles->environment = odbc::Environment(environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                  0);

    SQLHANDLE connection = SQL_NULL_HANDLE;
    if (!odbc::succeeded(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
        odbc::raise(odbc::readDiagnostics(SQL_HANDLE_ENV, environment),
                    QStringLiteral("The ODBC driver manager could not open a connection"));
    }
    handles->connection = odbc::ConnectionHandle(connection);
    SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(intptr_t(m_connectionTimeout)), 0);

    SQLRETURN rc;
    {
        WaitScope wait(*this);
        SQLWCHAR completed[1024];
        SQLSMALLINT completedLength = 0;
        rc = SQLDriverConnectW(connection, nullptr, odbc::wide(odbcString), SQL_NTS, completed,
                               SQLSMALLINT(std::size(completed)), &completedLength,
                               SQL_DRIVER_NOPROMPT);
    }
    if (!odbc::succeeded(rc)) {
        std::vector<Diagnostic> records = odbc::readDiagnostics(SQL_HANDLE_DBC, connection);
        if (driverMissing(records)) {
            throw Error(QStringLiteral("The FreeTDS ODBC driver is not registered with unixODBC "
                                       "(install the package tdsodbc)"),
                        std::move(records));
        }
        odbc::raise(std::move(records), QStringLiteral("The connection to the server failed"));
    }

    SQLWCHAR version[64] = {};
    SQLSMALLINT versionLength = 0;
    if (odbc::succeeded(
            SQLGetInfoW(connection, SQL_DBMS_VER, version, sizeof version, &versionLength))) {
        handles->serverVersion =
            odbc::fromWide(version, versionLength / SQLSMALLINT(sizeof(SQLWCHAR)));
    }
    m_handles = std::move(handles);
}

void* Connection::nativeHandle() const
{
    return m_handles ? m_handles->connection.get() : nullptr;
}

void Connection::lost()
{
    // The link is gone: drop it, so that the next use connects anew instead of failing on a
    // dead handle for the rest of the run.
    setConnected(false);
}

Connection::WaitScope::WaitScope(const Connection& connection) : m_hook(connection.m_waitHook)
{
    if (m_hook) {
        m_hook(true);
    }
}

Connection::WaitScope::~WaitScope()
{
    if (m_hook) {
        m_hook(false);
    }
}

} // namespace db
