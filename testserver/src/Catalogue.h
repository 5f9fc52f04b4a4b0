#pragma once
// The server's world: the databases, files, logins and fault knobs of one catalogue file, and
// the generation (2000, 2005, …) that its version number picks. Loaded once at start; the
// executor changes it in memory under the lock of ServerState, shared by every connection.

#include <cstdint>
#include <mutex>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testserver {

class CatalogueError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What differs between server generations, derived from the product version's major number.
struct Generation {
    int major = 8;
    int minor = 0;
    int build = 0;

    std::uint32_t tdsVersion() const; // as LOGINACK carries it, e.g. 0x71000001 for 7.1
    bool is2000() const { return major == 8; }
    bool hasSysCatalogViews() const { return major >= 9; }
    bool acceptsTruncateOnly() const { return major <= 9; }
    bool hasSpDboption() const { return major <= 10; }
    // 2000 and 2005 word several messages differently from 2008 on.
    bool oldWording() const { return major <= 9; }
    std::string releaseName() const; // "2000", "2008 R2", …
};

struct DbFile {
    std::string name;
    int fileId = 1;
    std::string fileName;
    std::optional<std::string> fileGroup;
    std::optional<std::string> sizeText; // served verbatim until a shrink changes the size
    std::int64_t sizeKb = 0;
    std::int64_t minKb = 0;
    std::int64_t usedKb = 0;
    std::string maxSize = "Unlimited";
    std::string growth = "10%";
    std::string usage = "data only";
    bool isLog = false;

    std::string sizeForDisplay() const;
};

struct Database {
    std::string name;
    int id = 1;
    std::string recovery = "FULL";        // SIMPLE, FULL or BULK_LOGGED
    std::string logReuseWait = "NOTHING"; // as sys.databases.log_reuse_wait_desc spells it
    bool dboptionDenied = false; // the logins are not its owners: sp_dboption fails with 15247
    std::vector<DbFile> files;
};

struct LoginEntry {
    std::string name;
    std::string password;
};

// The database-list query fails while `remaining` is not 0; -1 means always.
struct ListQueryFault {
    std::int64_t remaining = 0;
    int number = 229;
    int severity = 14;
    int state = 5;
    std::string message; // empty: the generation's wording of error 229
};

struct Faults {
    double loginDelaySeconds = 0;
    double batchDelaySeconds = 0;
    std::vector<std::int64_t> delayBatches;  // when given, only these batches wait the delay
    std::vector<std::string> helpfileOmit;   // columns that sp_helpfile leaves out
    std::vector<std::int64_t> dropOnBatches; // server-wide batch numbers, counted from 1
    ListQueryFault failListQuery;
};

struct Catalogue {
    std::string version;
    Generation generation;
    std::string serverName = "TESTSRV";
    std::string versionText; // @@VERSION; generated from the generation when not given
    std::vector<LoginEntry> logins;
    std::vector<Database> databases;
    Faults faults;

    static Catalogue fromJson(const nlohmann::json& j);
    static Catalogue fromText(const std::string& text);
    static Catalogue loadFile(const std::string& path);

    Database* findDatabase(const std::string& name);
    const LoginEntry* findLogin(const std::string& name) const;
};

// Everything the connections share. Each batch runs with `mutex` held, so a batch sees and
// leaves the catalogue consistent, and a shrink on one connection shows on the next.
struct ServerState {
    std::mutex mutex;
    Catalogue catalogue;
    std::int64_t batchesReceived = 0;
};

} // namespace testserver
