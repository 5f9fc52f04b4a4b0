// Database access for the window: the connection `Data` and the query `Query` that the window's
// handlers use to reach Microsoft SQL Server. Built over ODBC (unixODBC with the FreeTDS driver);
// callers speak in connection strings, SQL texts and QStrings only, and every failure leaves as a
// db::Error that carries all the driver's diagnostic records.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include <QString>

namespace db {

// One diagnostic record as the driver reported it.
struct Diagnostic {
    QString state;   // SQLSTATE, five characters
    int native = 0;  // the server's message number, or the driver's own code
    QString message; // the full text, driver prefixes included
};

// The record's text without the driver's bracketed prefixes, as the server wrote it.
QString messageText(const Diagnostic& record);

// Every failure of the layer. what() is the text the operator reads (UTF-8).
class Error : public std::runtime_error {
public:
    Error(const QString& text, std::vector<Diagnostic> records = {});
    QString text() const { return QString::fromUtf8(what()); }
    const std::vector<Diagnostic>& records() const { return m_records; }

private:
    std::vector<Diagnostic> m_records;
};

// Called with true before the layer starts waiting for the server and with false when the wait
// is over, so that a front can show that it is busy.
using WaitHook = std::function<void(bool waiting)>;

class Query;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const;
    // true connects as the connection string says (raises db::Error and stays closed on
    // failure); false closes an open connection, else does nothing.
    void setConnected(bool on);

    QString connectionString() const { return m_connectionString; }
    void setConnectionString(const QString& text) { m_connectionString = text; }

    int connectionTimeout() const { return m_connectionTimeout; }
    void setConnectionTimeout(int seconds) { m_connectionTimeout = seconds; }

    void setWaitHook(WaitHook hook) { m_waitHook = std::move(hook); }

    // What the server reported about itself at login, such as "08.00.2039"; empty when closed.
    QString serverVersion() const;

private:
    friend class Query;
    struct Handles;

    // Tells the wait hook that a call to the server runs, for as long as the scope lives.
    class WaitScope {
    public:
        explicit WaitScope(const Connection& connection);
        ~WaitScope();
        WaitScope(const WaitScope&) = delete;
        WaitScope& operator=(const WaitScope&) = delete;

    private:
        const WaitHook& m_hook;
    };

    void lost();
    void* nativeHandle() const; // the ODBC connection handle, or null when closed

    QString m_connectionString;
    int m_connectionTimeout = 15;
    WaitHook m_waitHook;
    std::unique_ptr<Handles> m_handles;
    std::vector<Query*> m_queries; // closed before the connection goes
};

} // namespace db
