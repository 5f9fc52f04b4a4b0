#include "db/Diagnostics.h"

#include "db/Handles.h"

namespace db::odbc {

std::vector<Diagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::vector<Diagnostic> records;
    if (handle == SQL_NULL_HANDLE) {
        return records;
    }
    std::vector<SQLWCHAR> buffer(512);
    for (SQLSMALLINT number = 1;; ++number) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(handleType, handle, number, state, &native, buffer.data(),
                                      SQLSMALLINT(buffer.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLSMALLINT(buffer.size())) {
            // The text was cut: read the same record again with room for all of it.
            buffer.resize(size_t(length) + 1);
            rc = SQLGetDiagRecW(handleType, handle, number, state, &native, buffer.data(),
                                SQLSMALLINT(buffer.size()), &length);
        }
        if (!succeeded(rc)) {
            break; // SQL_NO_DATA past the last record
        }
        length = std::min<SQLSMALLINT>(length, SQLSMALLINT(buffer.size() - 1));
        records.push_back({fromWide(state, 5), int(native), fromWide(buffer.data(), length)});
    }
    return records;
}

namespace {

qsizetype prefixLength(const QString& message)
{
    qsizetype start = 0;
    while (start < message.size() && message[start] == u'[') {
        const qsizetype close = message.indexOf(u']', start);
        if (close < 0) {
            break;
        }
        start = close + 1;
    }
    return start;
}

} // namespace

QString operatorText(const QString& message)
{
    const qsizetype start = prefixLength(message);
    qsizetype end = message.size();
    while (end > start && (message[end - 1] == u' ' || message[end - 1] == u'.')) {
        --end;
    }
    return message.mid(start, end - start);
}

const Diagnostic* failureRecord(const std::vector<Diagnostic>& records)
{
    for (const Diagnostic& record : records) {
        if (!record.state.startsWith(u"01")) {
            return &record;
        }
    }
    // Only informational records: the last one is the driver's word on what ended the call
    // (such as "Unexpected EOF from the server"), the earlier ones what the server printed.
    return records.empty() ? nullptr : &records.back();
}

std::vector<Diagnostic> informational(const std::vector<Diagnostic>& records)
{
    std::vector<Diagnostic> result;
    for (const Diagnostic& record : records) {
        if (record.state.startsWith(u"01")) {
            result.push_back(record);
        }
    }
    return result;
}

void raise(std::vector<Diagnostic> records, const QString& fallback)
{
    const Diagnostic* failure = failureRecord(records);
    const QString text = failure ? operatorText(failure->message) : fallback;
    throw Error(text.isEmpty() ? fallback : text, std::move(records));
}

} // namespace db::odbc

QString db::messageText(const Diagnostic& record)
{
    return record.message.mid(odbc::prefixLength(record.message));
}
