#include "BatchLog.h"

#include <chrono>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace testserver {

namespace {

std::string jsonString(const std::string& s)
{
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string timestamp()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return buf;
}

} // namespace

BatchLog::BatchLog(const std::string& path)
{
    if (path.empty())
        return;
    m_file = std::fopen(path.c_str(), "a");
    if (!m_file)
        throw std::runtime_error("cannot open the log " + path);
}

BatchLog::~BatchLog()
{
    if (m_file)
        std::fclose(m_file);
}

void BatchLog::write(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    if (!m_file)
        return;
    std::fputs(line.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
}

void BatchLog::batch(const BatchEntry& e)
{
    std::string errors = "[";
    for (std::size_t i = 0; i < e.errors.size(); ++i)
        errors += (i ? ", " : "") + std::to_string(e.errors[i]);
    errors += "]";
    const bool ok = e.errors.empty() && !e.cancelled && !e.dropped;
    std::string line = "{\"t\": " + timestamp() + ", \"conn\": " + std::to_string(e.conn) +
                       ", \"user\": " + jsonString(e.user) +
                       ", \"db_before\": " + jsonString(e.dbBefore) +
                       ", \"sql\": " + jsonString(e.sql) + ", \"outcome\": \"" +
                       (ok ? "ok" : "error") + "\", \"errors\": " + errors;
    if (e.cancelled)
        line += ", \"cancelled\": true";
    if (e.dropped)
        line += ", \"dropped\": true";
    write(line + "}");
}

void BatchLog::login(int conn, const std::string& login, bool ok)
{
    write("{\"t\": " + timestamp() + ", \"conn\": " + std::to_string(conn) +
          ", \"login\": " + jsonString(login) + ", \"ok\": " + (ok ? "true" : "false") + "}");
}

void Diagnostics::line(const std::string& text)
{
    std::lock_guard lock(m_mutex);
    std::fprintf(stderr, "testserver: %s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace testserver
