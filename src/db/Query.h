// The query object of the database layer: one SQL text, one forward-only row set at a time.
// Callers close it, set the text, open it and walk the rows.
#pragma once

#include "db/Connection.h"

#include <memory>
#include <vector>

#include <QString>

namespace db {

class Query {
public:
    explicit Query(Connection& connection, QString name = QStringLiteral("Query"));
    ~Query();
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    QString name() const { return m_name; }

    bool active() const;
    void close(); // drops the row set, else nothing

    QString sql() const { return m_sql; }
    void setSql(const QString& text) { m_sql = text; }

    int commandTimeout() const { return m_commandTimeout; }
    void setCommandTimeout(int seconds) { m_commandTimeout = seconds; }

    // Sends the whole text as one batch and stands on the first row of the first row set,
    // passing over results without rows. Raises db::Error on failure and when the batch ends
    // without a row set.
    void open();

    bool eof() const;
    void next();

    int fieldCount() const;
    QString field(int position) const;              // the current row's column as text
    QString fieldByName(const QString& name) const; // matched regardless of case

    // Reads every result after the current row set to the end of the batch. Raises db::Error
    // with the server's own message when a later statement failed.
    void finishBatch();

    // Informational messages (severity 10 and below) the server sent since open(), in order.
    const std::vector<Diagnostic>& messages() const { return m_messages; }

private:
    friend class Connection;
    struct Statement;

    QString noResultSetText() const;
    [[noreturn]] void fail(std::vector<Diagnostic> records, const QString& fallback);
    void keepMessages(const std::vector<Diagnostic>& records);
    void describe(int columns);
    void fetch();
    QString readColumn(unsigned short column);

    Connection& m_connection;
    QString m_name;
    QString m_sql;
    int m_commandTimeout = 30;
    std::unique_ptr<Statement> m_statement;
    std::vector<Diagnostic> m_messages;
};

} // namespace db
