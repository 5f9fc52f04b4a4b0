// Prints how long the database list takes from a server with 32767 databases, through the
// FreeTDS ODBC driver as the tool reads it: the query, every row fetched.

#include "testserver/OdbcProbe.h"
#include "testserver/TestServer.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

int main()
{
    nlohmann::json j = nlohmann::json::parse(TestServer::catalogue("demo"));
    nlohmann::json& dbs = j["databases"];
    for (int i = static_cast<int>(dbs.size()); i < 32767; ++i)
        dbs.push_back({{"name", "db_" + std::to_string(i) + "_数据"},
                       {"files", {{{"name", "log"}, {"size_kb", 1024}, {"usage", "log only"}}}}});
    TestServer server(j.dump());
    probe::Connection c;
    if (c.connect(probe::connectionString(server.port(), "sa", "")) != probe::Rc::Success) {
        std::fprintf(stderr, "cannot connect\n");
        return 1;
    }
    for (int round = 1; round <= 3; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const std::size_t rows = c.column("select name from sysdatabases ").size();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        std::printf("database list, round %d: %zu rows in %.1f ms\n", round, rows, ms);
    }
    return 0;
}
