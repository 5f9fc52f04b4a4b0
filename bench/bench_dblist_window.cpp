// Prints how long the window takes from the drop-down of its database list to the filled list,
// for a server of 32767 databases, beside the time FreeTDS's tsql takes to list the same names
// from the same server, and the program's peak memory.
//
// Each round opens a fresh window, so the figure includes the connect, as the operator's first
// drop-down does.

#include "Unit1.h"
#include "testserver/TestServer.h"
#include "widgets/Application.h"
#include "widgets/DropDownList.h"
#include "widgets/Edit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Application app(argc, argv);

    constexpr int databases = 32767;
    constexpr int rounds = 5;
    nlohmann::json catalogue = nlohmann::json::parse(TestServer::catalogue("demo"));
    auto& list = catalogue["databases"];
    for (int i = int(list.size()); i < databases; ++i) {
        list.push_back({{"name", "db_" + std::to_string(i) + "_数据"},
                        {"files", {{{"name", "log"}, {"size_kb", 1024}, {"usage", "log only"}}}}});
    }
    TestServer server(catalogue.dump());
    const QString address = QStringLiteral("127.0.0.1,%1").arg(server.port());
    const long kilobytesBefore = peakKilobytes();

    std::vector<double> window;
    int listed = 0;
    for (int round = 0; round < rounds; ++round) {
        TForm1 form;
        form.show();
        form.Edit1->setText(address);
        const auto start = Clock::now();
        form.ComboBox1->showPopup(); // raises the drop-down, which connects and fills the list
        window.push_back(millisecondsSince(start));
        listed = form.ComboBox1->itemCount();
        form.ComboBox1->hidePopup();
    }

    // The database layer alone, on one open connection: the query and every row read.
    std::vector<double> layer;
    {
        db::Connection data;
        db::Query query(data);
        data.setConnectionString(QStringLiteral("Provider=SQLOLEDB.1;Password=;User ID=sa;"
                                                "Initial Catalog=Master;Data Source=") +
                                 address);
        data.setConnected(true);
        for (int round = 0; round < rounds; ++round) {
            const auto start = Clock::now();
            query.close();
            query.setSql(QStringLiteral("select name from sysdatabases "));
            query.open();
            for (; !query.eof(); query.next()) {
                (void)query.field(0);
            }
            layer.push_back(millisecondsSince(start));
        }
    }

    const std::string tsql =
        "printf 'select name from sysdatabases\\ngo\\nexit\\n' | tsql -H 127.0.0.1 -p " +
        std::to_string(server.port()) + " -U sa -P '' >/dev/null 2>&1";
    std::vector<double> reference;
    for (int round = 0; round < rounds; ++round) {
        const auto start = Clock::now();
        if (std::system(tsql.c_str()) != 0) {
            std::fprintf(stderr, "tsql failed\n");
            return 1;
        }
        reference.push_back(millisecondsSince(start));
    }

    const double ours = median(window);
    const double theirs = median(reference);
    std::printf("databases listed:                 %d of %d\n", listed, databases);
    std::printf("drop-down to filled list, median: %.1f ms over %d rounds (connect included)\n",
                ours, rounds);
    std::printf("of which the query and its rows:  %.1f ms (connected already)\n", median(layer));
    std::printf(
        "tsql listing the same, median:    %.1f ms over %d rounds (process start included)\n",
        theirs, rounds);
    std::printf("ratio window / tsql:              %.2f\n", ours / theirs);
    std::printf("peak memory of the program:       %ld KB (%ld KB before the first drop-down)\n",
                peakKilobytes(), kilobytesBefore);
    return listed == databases ? 0 : 1;
}
