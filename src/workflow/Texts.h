// The texts of the log-shrink workflow: what the window sends to the server and how it reads
// back what the server returns. Pure functions, so that the handlers stay short and every rule
// about names, quoting and trimming lives in one place.
#pragma once

#include <QString>

namespace workflow {

// Removes every leading and trailing character whose code is 32 or below; inner ones stay.
QString trimmed(const QString& text);

// The connection string for the three login fields. A value that the string's syntax would cut
// or change (one holding ";" or a quote, or with blanks at either end) is enclosed in double
// quotes with inner ones doubled; other values go in as typed.
QString connectionString(const QString& server, const QString& user, const QString& password);
QString connectionStringValue(const QString& value);

// The query that lists every database of the server.
QString databaseListQuery();

// A name as a delimited identifier ([name], "]" doubled) and as a Unicode string literal
// (N'name', "'" doubled): whatever the name holds reaches the server as exactly that name.
QString delimitedIdentifier(const QString& name);
QString unicodeLiteral(const QString& text);

// The query that lists the files of a database.
QString logFileQuery(const QString& database);

// What a shrink asks of the server.
struct ShrinkRequest {
    QString database;
    QString logicalName;     // of the log file
    QString targetMegabytes; // digits only, as typed
    bool stopGrowth = false; // truncate the log at every checkpoint from now on
};

// The batch for a server whose version reads like "08.00.2039".
QString shrinkBatch(const ShrinkRequest& request, const QString& serverVersion = {});

// True when text is one or more of the digits 0 to 9.
bool isWholeNumber(const QString& text);

// A log file's detail entry: its trimmed path, "|", its trimmed size text.
QString detailEntry(const QString& path, const QString& size);

struct DetailParts {
    QString location;
    QString size;
};
// Splits an entry at its first "|". The size part is cut to at most 200 bytes of UTF-8, never
// in the middle of a character; an entry without "|" is all size.
DetailParts splitDetailEntry(const QString& entry);

// A file size in 8-KB pages as the server writes sizes: "N KB".
QString sizeText(qint64 pages);

} // namespace workflow
