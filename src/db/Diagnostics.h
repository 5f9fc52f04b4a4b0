// Reading the driver's diagnostic records, and the text of a failure as the operator reads it.
#pragma once

#include "db/Connection.h"

#include <vector>

#include <QString>

#include <sql.h>

namespace db::odbc {

// Every record of the handle, from the first until SQL_NO_DATA, each read whole.
std::vector<Diagnostic> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// The message without the driver's bracketed prefixes ("[FreeTDS][SQL Server]") and without
// trailing blanks and full stops.
QString operatorText(const QString& message);

// The record that says what went wrong: the first one that is not a mere informational message
// (a dropped connection comes as class 01 with SQL_ERROR: then the last record).
const Diagnostic* failureRecord(const std::vector<Diagnostic>& records);

// Informational records (class 01) among the records: what the server printed.
std::vector<Diagnostic> informational(const std::vector<Diagnostic>& records);

// Raises the failure described by the records, or fallback when there is none.
[[noreturn]] void raise(std::vector<Diagnostic> records, const QString& fallback);

} // namespace db::odbc
