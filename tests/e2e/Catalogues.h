// Catalogues of the test server for the end-to-end tests: a 2000-generation server with the
// databases each test needs.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace e2e {

// A log or data file of a database.
nlohmann::json logFile(const std::string& name, const std::string& path, int sizeKb, int usedKb = 0,
                       int minKb = 512);
nlohmann::json dataFile(const std::string& name, const std::string& path, int sizeKb = 4096);

nlohmann::json database(const std::string& name, nlohmann::json files,
                        const std::string& recovery = "FULL");

// master plus the given databases, login sa with the given password.
nlohmann::json catalogueOf(nlohmann::json databases, const std::string& password = "",
                           const std::string& version = "8.00.2039");

// A server whose database names come padded ("  pubs  ", "\tNorthwind") and one in Chinese.
nlohmann::json paddedNames();

} // namespace e2e
