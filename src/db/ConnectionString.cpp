#include "db/ConnectionString.h"

#include "db/Connection.h"

namespace db {

namespace {

// Synonyms as SQL Server's providers accept them, mapped to one canonical key.
QString canonicalKey(const QString& key)
{
    const QString k = key.toLower();
    if (k == u"password" || k == u"pwd") {
        return QStringLiteral("password");
    }
    if (k == u"user id" || k == u"uid" || k == u"user") {
        return QStringLiteral("user id");
    }
    if (k == u"initial catalog" || k == u"database") {
        return QStringLiteral("initial catalog");
    }
    if (k == u"data source" || k == u"server" || k == u"address" || k == u"addr" ||
        k == u"network address") {
        return QStringLiteral("data source");
    }
    return k;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

ConnectionString ConnectionString::parse(const QString& text)
{
    ConnectionString result;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        while (i < n && (isBlank(text[i]) || text[i] == u';')) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        const qsizetype equals = text.indexOf(u'=', i);
        if (equals < 0) {
            throw Error(
                QStringLiteral("The connection string is malformed near \"%1\"").arg(text.mid(i)));
        }
        const QString key = text.mid(i, equals - i).trimmed();
        i = equals + 1;
        while (i < n && isBlank(text[i])) {
            ++i;
        }
        QString value;
        if (i < n && (text[i] == u'"' || text[i] == u'\'')) {
            const QChar quote = text[i++];
            bool closed = false;
            while (i < n) {
                if (text[i] == quote) {
                    if (i + 1 < n && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i++];
            }
            while (i < n && isBlank(text[i])) {
                ++i;
            }
            if (!closed || (i < n && text[i] != u';')) {
                throw Error(QStringLiteral("The connection string has a badly quoted value for "
                                           "\"%1\"")
                                .arg(key));
            }
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, end < 0 ? -1 : end - i).trimmed();
            i = end < 0 ? n : end;
        }
        result.m_values[canonicalKey(key)] = value;
    }
    return result;
}

std::optional<QString> ConnectionString::value(const QString& key) const
{
    const auto found = m_values.find(canonicalKey(key));
    if (found == m_values.end()) {
        return std::nullopt;
    }
    return found->second;
}

ServerAddress ServerAddress::parse(const QString& dataSource)
{
    QString rest = dataSource.trimmed();
    if (rest.startsWith(u"tcp:", Qt::CaseInsensitive)) {
        rest = rest.mid(4);
    }
    ServerAddress address;
    const qsizetype comma = rest.indexOf(u',');
    if (comma >= 0) {
        bool ok = false;
        const int port = rest.mid(comma + 1).trimmed().toInt(&ok);
        if (ok && port > 0 && port < 65536) {
            address.port = port;
        } else {
            throw Error(QStringLiteral("\"%1\" is not a valid port number")
                            .arg(rest.mid(comma + 1).trimmed()));
        }
        rest = rest.left(comma).trimmed();
    }
    const qsizetype backslash = rest.indexOf(u'\\');
    if (backslash >= 0) {
        address.instance = rest.mid(backslash + 1);
        rest = rest.left(backslash);
    }
    address.host = rest;
    const QString lower = rest.toLower();
    if (lower == u"(local)" || lower == u"." || lower == u"localhost") {
        address.host = QStringLiteral("127.0.0.1");
    }
    if (!address.port && address.instance.isEmpty()) {
        address.port = 1433; // the default instance's port
    }
    return address;
}

namespace {

// The driver reads a braced value up to the first "}" that a ";" follows, and never turns "}}"
// back into "}", so a value is passed through verbatim between braces and only "};" cannot be.
QString braced(const QString& what, const QString& value)
{
    if (value.contains(QStringLiteral("};"))) {
        throw Error(QStringLiteral("The %1 cannot contain \"};\": the ODBC driver cannot be "
                                   "handed such a value")
                        .arg(what));
    }
    return u'{' + value + u'}';
}

} // namespace

QString odbcConnectionString(const QString& text)
{
    const ConnectionString parsed = ConnectionString::parse(text);
    const QString provider = parsed.valueOr(QStringLiteral("provider"));
    if (provider.compare(u"SQLOLEDB.1", Qt::CaseInsensitive) != 0 &&
        provider.compare(u"SQLOLEDB", Qt::CaseInsensitive) != 0) {
        throw Error(
            QStringLiteral("Provider \"%1\" is not supported; use SQLOLEDB.1").arg(provider));
    }
    const ServerAddress address =
        ServerAddress::parse(parsed.valueOr(QStringLiteral("data source")));

    QString server = address.host;
    if (!address.instance.isEmpty()) {
        server += u'\\' + address.instance;
    }
    QString odbc = QStringLiteral("DRIVER={FreeTDS};SERVER=") +
                   braced(QStringLiteral("server name"), server) + u';';
    if (address.port) {
        odbc += QStringLiteral("PORT=%1;").arg(*address.port);
    }
    odbc += QStringLiteral("UID=") +
            braced(QStringLiteral("user name"), parsed.valueOr(QStringLiteral("user id"))) + u';';
    odbc += QStringLiteral("PWD=") +
            braced(QStringLiteral("password"), parsed.valueOr(QStringLiteral("password"))) + u';';
    if (const auto database = parsed.value(QStringLiteral("initial catalog"));
        database && !database->isEmpty()) {
        odbc +=
            QStringLiteral("DATABASE=") + braced(QStringLiteral("database name"), *database) + u';';
    }
    // UTF-8 between the driver and the wide calls, so names in any script arrive unchanged.
    odbc += QStringLiteral("ClientCharset=UTF-8;APP=logshrink;");
    return odbc;
}

} // namespace db
