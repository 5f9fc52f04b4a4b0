// The connection string of the window (Provider, Password, User ID, Initial Catalog, Data
// Source, in the syntax such strings have) and the equivalent ODBC connection for the driver.
#pragma once

#include <map>
#include <optional>

#include <QString>

namespace db {

// key=value pairs separated by ";". Keys are case-insensitive and trimmed; a value may be
// enclosed in double or single quotes, a doubled quote inside standing for one; an unquoted
// value is trimmed. A later key overrides an earlier one. Raises db::Error on a malformed string.
class ConnectionString {
public:
    static ConnectionString parse(const QString& text);

    std::optional<QString> value(const QString& key) const; // by any of the key's synonyms
    QString valueOr(const QString& key, const QString& fallback = {}) const
    {
        return value(key).value_or(fallback);
    }

private:
    std::map<QString, QString> m_values; // lower-case canonical key -> value
};

// Where a SQL Server "Data Source" points.
struct ServerAddress {
    QString host;            // a host name or address for the driver
    std::optional<int> port; // absent: the driver asks the SQL Browser for the instance
    QString instance;        // named instance, or empty

    static ServerAddress parse(const QString& dataSource);
};

// The ODBC connection string for the FreeTDS driver that does what text says. Raises db::Error
// when text names another provider or holds a value that the driver cannot be handed.
QString odbcConnectionString(const QString& text);

} // namespace db
