// The testserver program: a stand-in for Microsoft SQL Server that the tests and the demo
// talk to over TDS. Usage:
//   testserver --catalogue FILE [--port N] [--log FILE] [--max-connections N]
//              [--idle-timeout S] [--lifetime S]
// Prints "listening on 127.0.0.1:PORT" as its first line and stops cleanly on SIGTERM.

#include "BatchLog.h"
#include "Catalogue.h"
#include "Server.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

using namespace testserver;

namespace {

[[noreturn]] void usage(const std::string& problem)
{
    std::fprintf(stderr,
                 "testserver: %s\nusage: testserver --catalogue FILE [--port N] [--log FILE] "
                 "[--max-connections N] [--idle-timeout S] [--lifetime S]\n",
                 problem.c_str());
    std::exit(2);
}

double number(const std::string& flag, const char* text, double lo, double hi)
{
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!end || *end || !(v >= lo && v <= hi))
        usage(flag + " wants a number from " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    std::string cataloguePath, logPath;
    ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            usage(a + " needs a value");
        const char* v = argv[++i];
        if (a == "--catalogue")
            cataloguePath = v;
        else if (a == "--log")
            logPath = v;
        else if (a == "--port")
            options.port = static_cast<int>(number(a, v, 0, 65535));
        else if (a == "--max-connections")
            options.maxConnections = static_cast<int>(number(a, v, 1, 1024));
        else if (a == "--idle-timeout")
            options.session.idleTimeoutMs = static_cast<int>(number(a, v, 1, 86400) * 1000);
        else if (a == "--lifetime")
            options.lifetimeSeconds = number(a, v, 0, 7 * 86400);
        else
            usage("unknown option " + a);
    }
    if (cataloguePath.empty())
        usage("--catalogue is required");

    // Signals are taken synchronously by the main thread; every other thread has them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        ServerState state;
        state.catalogue = Catalogue::loadFile(cataloguePath);
        BatchLog log(logPath);
        Diagnostics diagnostics;
        Server server(state, log, diagnostics, options);
        const int port = server.listen();
        std::printf("listening on 127.0.0.1:%d\n", port);
        std::fflush(stdout);

        std::atomic<bool> finished{false};
        std::string failure;
        std::thread runner([&] {
            try {
                server.run();
            } catch (const std::exception& e) {
                failure = e.what();
            }
            finished = true;
        });
        while (!finished) {
            timespec wait{0, 200'000'000};
            const int sig = sigtimedwait(&signals, nullptr, &wait);
            if (sig == SIGTERM || sig == SIGINT)
                server.stop();
        }
        runner.join();
        if (!failure.empty()) {
            std::fprintf(stderr, "testserver: %s\n", failure.c_str());
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "testserver: %s\n", e.what());
        return 1;
    }
    return 0;
}
