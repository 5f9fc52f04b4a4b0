#include "Catalogues.h"

namespace e2e {

nlohmann::json logFile(const std::string& name, const std::string& path, int sizeKb, int usedKb,
                       int minKb)
{
    return {{"name", name},    {"filename", path},  {"size_kb", sizeKb},
            {"min_kb", minKb}, {"used_kb", usedKb}, {"usage", "log only"}};
}

nlohmann::json dataFile(const std::string& name, const std::string& path, int sizeKb)
{
    return {{"name", name}, {"filename", path}, {"size_kb", sizeKb}, {"usage", "data only"}};
}

nlohmann::json database(const std::string& name, nlohmann::json files, const std::string& recovery)
{
    return {{"name", name},
            {"recovery", recovery},
            {"log_reuse_wait", "NOTHING"},
            {"files", std::move(files)}};
}

nlohmann::json catalogueOf(nlohmann::json databases, const std::string& password,
                           const std::string& version)
{
    nlohmann::json all = nlohmann::json::array();
    all.push_back(database("master",
                           {dataFile("master", "C:\\MSSQL\\Data\\master.mdf", 12800),
                            logFile("mastlog", "C:\\MSSQL\\Data\\mastlog.ldf", 1024, 300)},
                           "SIMPLE"));
    for (auto& db : databases) {
        all.push_back(std::move(db));
    }
    return {{"version", version},
            {"server_name", "TESTSRV"},
            {"logins", {{{"name", "sa"}, {"password", password}}}},
            {"databases", std::move(all)},
            {"faults", nlohmann::json::object()}};
}

nlohmann::json paddedNames()
{
    return catalogueOf({database("  pubs  ", {logFile("pubs_log", "C:\\pubs_log.ldf", 2048)}),
                        database("\tNorthwind", {logFile("nw_log", "C:\\nw_log.ldf", 2048)}),
                        database("销售数据", {logFile("sales_log", "C:\\sales_log.ldf", 2048)})});
}

} // namespace e2e
