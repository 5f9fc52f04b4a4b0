#pragma once
// Starts the testserver program on a catalogue for the length of a test and reads its batch
// log. Used by the test server's own tests and by the end-to-end tests of the window: each
// test owns its server on a free port, and the destructor always stops it.

#include <nlohmann/json.hpp>
#include <string>
#include <sys/types.h>
#include <vector>

class TestServer {
public:
    // Starts the server on a catalogue given as JSON text (written to a temp file), on port 0
    // (a free port) unless given; waits for "listening on 127.0.0.1:PORT"; throws on failure.
    explicit TestServer(const std::string& catalogueJson, int port = 0);
    ~TestServer(); // SIGTERM by pid, waits; never leaves a process behind
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    static std::string
    catalogue(const std::string& name); // text of testserver/catalogues/NAME.json

    int port() const;
    std::vector<nlohmann::json> log() const;    // every line of the batch log so far
    std::vector<std::string> batches() const;   // the "sql" of every batch entry, in order
    std::vector<nlohmann::json> logins() const; // the login entries

    // What the server wrote to stderr so far: one line per closed-for-cause connection.
    std::string errorOutput() const;
    pid_t pid() const { return m_pid; }
    // Stops the server now (as the destructor would); returns its exit status.
    int stop();

private:
    std::string m_dir;
    pid_t m_pid = -1;
    int m_port = 0;
    int m_exitStatus = -1;
};
