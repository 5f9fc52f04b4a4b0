#include "db/Query.h"

namespace db {

struct Query::Statement {};

Query::Query(Connection& connection, QString name) : m_connection(connection), m_name(std::move(name)) {}
Query::~Query() = default;
bool Query::active() const { return false; }
void Query::close() {}
void Query::open() {}
bool Query::eof() const { return true; }
void Query::next() {}
int Query::fieldCount() const { return 0; }
QString Query::field(int) const { return {}; }
QString Query::fieldByName(const QString&) const { return {}; }
void Query::finishBatch() {}

} // namespace db
