#pragma once
// A plain ODBC client over the FreeTDS driver, wide calls end to end, that records every call
// of a batch: return code, diagnostics, columns and rows. The test server's tests and the
// benchmark use it to see the server exactly as the real driver presents it.

#include <optional>
#include <string>
#include <vector>

namespace probe {

struct Diagnostic {
    std::string state;
    int native = 0;
    std::string text;
};

enum class Rc { Success, SuccessWithInfo, NoData, Error, Other };
const char* toString(Rc rc);

// One call of the result walk: SQLExecDirect first, then each SQLMoreResults.
struct Step {
    std::string call;
    Rc rc = Rc::Other;
    std::vector<Diagnostic> diagnostics; // of the call itself and of the fetches after it
    std::vector<std::string> columnNames;
    std::vector<int> columnTypes; // SQL data types as the driver reports them
    std::vector<std::vector<std::optional<std::string>>> rows;
    long rowCount = -1;

    bool hasNative(int native) const;
    std::string allText() const;
};

std::string connectionString(int port, const std::string& user, const std::string& password,
                             const std::string& database = {});

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Rc connect(const std::string& connectionString, int loginTimeoutSeconds = 0);
    const std::vector<Diagnostic>& connectDiagnostics() const { return m_connectDiags; }
    std::string dbmsVersion();

    // Runs a batch with SQLExecDirectW and walks every result until SQL_NO_DATA (also past
    // errors of SQLMoreResults, as the driver allows).
    std::vector<Step> run(const std::string& sql, int queryTimeoutSeconds = 0);
    // The rows of the first row set of a batch, first column only.
    std::vector<std::string> column(const std::string& sql);

private:
    void* m_env = nullptr;
    void* m_dbc = nullptr;
    bool m_connected = false;
    std::vector<Diagnostic> m_connectDiags;
};

} // namespace probe
