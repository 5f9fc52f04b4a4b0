#include "TestServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A leaked server (the test process killed hard) still ends on its own after this long.
constexpr const char* kLifetimeSeconds = "1800";
constexpr auto kStartTimeout = std::chrono::seconds(20);

} // namespace

TestServer::TestServer(const std::string& catalogueJson, int port)
{
    char dirTemplate[] = "/tmp/testserver-XXXXXX";
    if (!::mkdtemp(dirTemplate))
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    m_dir = dirTemplate;
    const std::string cataloguePath = m_dir + "/catalogue.json";
    const std::string logPath = m_dir + "/batches.jsonl";
    const std::string errPath = m_dir + "/stderr.txt";
    std::ofstream(cataloguePath, std::ios::binary) << catalogueJson;

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const int errFd = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const std::string portText = std::to_string(port);
    std::vector<std::string> args = {TESTSERVER_BINARY, "--catalogue", cataloguePath,
                                     "--port",          portText,      "--log",
                                     logPath,           "--lifetime",  kLifetimeSeconds};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls until exec.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(out[1], STDOUT_FILENO);
        if (errFd >= 0)
            ::dup2(errFd, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (errFd >= 0)
        ::close(errFd);
    if (m_pid < 0) {
        ::close(out[0]);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }

    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    bool ended = false;
    while (line.find('\n') == std::string::npos && !ended) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            ended = true;
        else
            line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        stop();
        const std::string err = readFile(errPath);
        std::filesystem::remove_all(m_dir);
        throw std::runtime_error("testserver did not start: " + (err.empty() ? line : err));
    }
    m_port = std::atoi(line.c_str() + prefix.size());
}

TestServer::~TestServer()
{
    stop();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

int TestServer::stop()
{
    if (m_pid <= 0)
        return m_exitStatus;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    pid_t r = 0;
    while ((r = ::waitpid(m_pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (r == 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
    m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_exitStatus;
}

std::string TestServer::catalogue(const std::string& name)
{
    const std::string path = std::string(TESTSERVER_CATALOGUE_DIR) + "/" + name + ".json";
    if (!std::filesystem::exists(path))
        throw std::runtime_error("no catalogue " + path);
    return readFile(path);
}

int TestServer::port() const
{
    return m_port;
}

std::vector<nlohmann::json> TestServer::log() const
{
    std::vector<nlohmann::json> entries;
    std::istringstream in(readFile(m_dir + "/batches.jsonl"));
    std::string line;
    while (std::getline(in, line))
        if (!line.empty())
            entries.push_back(nlohmann::json::parse(line));
    return entries;
}

std::vector<std::string> TestServer::batches() const
{
    std::vector<std::string> out;
    for (const nlohmann::json& e : log())
        if (e.contains("sql"))
            out.push_back(e.at("sql").get<std::string>());
    return out;
}

std::vector<nlohmann::json> TestServer::logins() const
{
    std::vector<nlohmann::json> out;
    for (const nlohmann::json& e : log())
        if (e.contains("login"))
            out.push_back(e);
    return out;
}

std::string TestServer::errorOutput() const
{
    return readFile(m_dir + "/stderr.txt");
}
