#pragma once
// The batch log: one JSON line per batch and per login, appended and flushed before the
// client sees the answer, so a test that got its answer can read the line at once. Also the
// server's diagnostics on stderr, one line per event. Shared by all connections.

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace testserver {

struct BatchEntry {
    int conn = 0;
    std::string user;
    std::string dbBefore;
    std::string sql;
    std::vector<int> errors;
    bool cancelled = false; // the client's attention arrived before the batch ran
    bool dropped = false;   // the drop_on_batch fault closed the connection instead
};

class BatchLog {
public:
    // An empty path logs nothing.
    explicit BatchLog(const std::string& path);
    ~BatchLog();
    BatchLog(const BatchLog&) = delete;
    BatchLog& operator=(const BatchLog&) = delete;

    void batch(const BatchEntry& e);
    void login(int conn, const std::string& login, bool ok);

private:
    void write(const std::string& line);

    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
};

class Diagnostics {
public:
    void line(const std::string& text);

private:
    std::mutex m_mutex;
};

} // namespace testserver
