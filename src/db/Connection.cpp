#include "db/Connection.h"

#include "db/Query.h"

namespace db {

Error::Error(const QString& text, std::vector<Diagnostic> records)
    : std::runtime_error(text.toStdString()), m_records(std::move(records))
{
}

struct Connection::Handles {};

Connection::Connection() = default;
Connection::~Connection() = default;
bool Connection::connected() const { return false; }
void Connection::setConnected(bool) {}
QString Connection::serverVersion() const { return {}; }

} // namespace db
