#include "workflow/Texts.h"

namespace workflow {

QString trimmed(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && text[start].unicode() <= 32) {
        ++start;
    }
    while (end > start && text[end - 1].unicode() <= 32) {
        --end;
    }
    return text.mid(start, end - start);
}

QString connectionStringValue(const QString& value)
{
    const bool needsQuotes =
        value.contains(u';') || value.contains(u'"') || value.contains(u'\'') ||
        (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsQuotes) {
        return value;
    }
    QString inner = value;
    inner.replace(u'"', QStringLiteral("\"\""));
    return u'"' + inner + u'"';
}

QString connectionString(const QString& server, const QString& user, const QString& password)
{
    return QStringLiteral("Provider=SQLOLEDB.1;Password=") + connectionStringValue(password) +
           QStringLiteral(";User ID=") + connectionStringValue(user) +
           QStringLiteral(";Initial Catalog=Master;Data Source=") + connectionStringValue(server);
}

QString databaseListQuery()
{
    return QStringLiteral("select name from sysdatabases ");
}

QString delimitedIdentifier(const QString& name)
{
    QString inner = name;
    inner.replace(u']', QStringLiteral("]]"));
    return u'[' + inner + u']';
}

QString unicodeLiteral(const QString& text)
{
    QString inner = text;
    inner.replace(u'\'', QStringLiteral("''"));
    return QStringLiteral("N'") + inner + u'\'';
}

QString logFileQuery(const QString& database)
{
    return QStringLiteral("USE %1  EXEC sp_helpfile ").arg(delimitedIdentifier(database));
}

QString shrinkBatch(const ShrinkRequest& request, const QString& serverVersion)
{
    // Every generation so far gets the same batch: servers from 2008 on reject TRUNCATE_ONLY,
    // and the operator reads their refusal. The version is here so that their own way can be
    // chosen in this one place.
    Q_UNUSED(serverVersion);
    const QString database = delimitedIdentifier(request.database);
    QString batch =
        QStringLiteral("USE %1  BACKUP LOG %1 WITH TRUNCATE_ONLY DBCC SHRINKFILE (%2, %3)")
            .arg(database, delimitedIdentifier(request.logicalName), request.targetMegabytes);
    if (request.stopGrowth) {
        batch += QStringLiteral("EXEC sp_dboption %1, 'trunc. log on chkpt.', 'TRUE' ")
                     .arg(unicodeLiteral(request.database));
    }
    return batch;
}

bool isWholeNumber(const QString& text)
{
    if (text.isEmpty()) {
        return false;
    }
    for (QChar c : text) {
        if (c < u'0' || c > u'9') {
            return false;
        }
    }
    return true;
}

QString detailEntry(const QString& path, const QString& size)
{
    return trimmed(path) + u'|' + trimmed(size);
}

namespace {

// The longest head of text whose UTF-8 form has at most maxBytes bytes, cut between characters.
QString utf8Head(const QString& text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t c = text[i].unicode();
        qsizetype units = 1;
        qsizetype width;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            units = 2;
            width = 4;
        } else {
            width = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        }
        if (bytes + width > maxBytes) {
            break;
        }
        bytes += width;
        i += units;
    }
    return text.left(i);
}

} // namespace

DetailParts splitDetailEntry(const QString& entry)
{
    const qsizetype bar = entry.indexOf(u'|');
    if (bar < 0) {
        return {QString(), utf8Head(entry, 200)};
    }
    return {entry.left(bar), utf8Head(entry.mid(bar + 1), 200)};
}

QString sizeText(qint64 pages)
{
    return QStringLiteral("%1 KB").arg(pages * 8);
}

} // namespace workflow
