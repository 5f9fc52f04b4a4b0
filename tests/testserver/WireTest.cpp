// Hostile bytes on the wire: each malformed or oversized request closes only its own
// connection, with one line on the server's stderr, while other clients carry on.

#include "testserver/OdbcProbe.h"
#include "testserver/TestServer.h"

#include <arpa/inet.h>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string packet(std::uint8_t type, const std::string& payload, bool last = true,
                   int lengthOverride = -1)
{
    const std::size_t len =
        lengthOverride >= 0 ? static_cast<std::size_t>(lengthOverride) : payload.size() + 8;
    std::string p;
    p += static_cast<char>(type);
    p += static_cast<char>(last ? 1 : 0);
    p += static_cast<char>((len >> 8) & 0xFF);
    p += static_cast<char>(len & 0xFF);
    p += std::string("\0\0\1\0", 4);
    return p + payload;
}

void put16(std::string& s, std::size_t at, std::size_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}

std::string ucs2(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// A LOGIN7 for sa with an empty password; `edit` may spoil it afterwards.
std::string login7(std::uint32_t version, const std::function<void(std::string&)>& edit = {})
{
    std::string p(94, '\0');
    put32(p, 4, version);
    put32(p, 8, 4096);
    const std::string user = ucs2("sa"), app = ucs2("wiretest");
    put16(p, 36, 94); // host name: none
    put16(p, 40, 94);
    put16(p, 42, 2);
    put16(p, 48, 94 + user.size());
    put16(p, 50, 8);
    for (std::size_t at : {44u, 52u, 56u, 60u, 64u, 68u, 78u, 82u, 86u})
        put16(p, at, 94 + user.size() + app.size());
    p += user + app;
    put32(p, 0, static_cast<std::uint32_t>(p.size()));
    if (edit)
        edit(p);
    return p;
}

class Raw {
public:
    explicit Raw(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error("connect failed");
    }
    ~Raw() { ::close(m_fd); }

    void send(const std::string& bytes)
    {
        // The server may close while we still write; that is what some cases expect.
        ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // Reads one whole response message; empty when the server closed instead.
    std::string readMessage()
    {
        std::string all;
        for (;;) {
            std::string h = readExact(8);
            if (h.size() < 8)
                return {};
            const std::size_t len =
                (static_cast<unsigned char>(h[2]) << 8) | static_cast<unsigned char>(h[3]);
            all += readExact(len - 8);
            if (h[1] & 1)
                return all;
        }
    }

    // True when the server closes the connection within the time given.
    bool closedByServer(int timeoutMs = 5000)
    {
        char buf[4096];
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                return false;
            const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
            if (n <= 0)
                return true;
        }
    }

private:
    std::string readExact(std::size_t n)
    {
        std::string out;
        while (out.size() < n) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 5000) <= 0)
                return out;
            char buf[4096];
            const ssize_t r = ::recv(m_fd, buf, std::min(sizeof buf, n - out.size()), 0);
            if (r <= 0)
                return out;
            out.append(buf, static_cast<std::size_t>(r));
        }
        return out;
    }

    int m_fd = -1;
};

struct MalformedCase {
    const char* name;
    std::uint32_t loginFirst; // TDS version to log in with first; 0: send at once
    std::function<std::string()> bytes;
    const char* reason; // part of the server's log line
};

std::string sqlText(const std::string& ascii)
{
    return ucs2(ascii);
}

std::string allHeaders()
{
    std::string h(22, '\0');
    put32(h, 0, 22);
    put32(h, 4, 18);
    put16(h, 8, 2);
    put32(h, 18, 1);
    return h;
}

} // namespace

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, ClosesOnlyItsOwnConnectionWithOneLogLine)
{
    const MalformedCase& c = GetParam();
    // A 2012 server speaks 7.4 and so reads ALL_HEADERS; the 2000 demo speaks 7.1.
    nlohmann::json catalogue = nlohmann::json::parse(TestServer::catalogue("demo"));
    if (c.loginFirst >= 0x72000000)
        catalogue["version"] = "11.0.7001.0";
    TestServer server(catalogue.dump());
    probe::Connection bystander;
    ASSERT_EQ(bystander.connect(probe::connectionString(server.port(), "sa", "")),
              probe::Rc::Success);

    Raw raw(server.port());
    if (c.loginFirst) {
        raw.send(packet(0x10, login7(c.loginFirst)));
        ASSERT_FALSE(raw.readMessage().empty()) << "login answered";
    }
    raw.send(c.bytes());
    EXPECT_TRUE(raw.closedByServer());

    const std::string err = server.errorOutput();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("closing: "), std::string::npos) << err;
    EXPECT_NE(err.find(c.reason), std::string::npos) << err;
    EXPECT_EQ(bystander.column("select name from sysdatabases ").size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Wire, Malformed,
    testing::Values(
        MalformedCase{"LengthShorterThanHeader", 0, [] { return packet(0x12, "", true, 4); },
                      "shorter than its header"},
        MalformedCase{"LengthOverMaximum", 0,
                      [] { return packet(0x12, std::string(100, 'x'), true, 0xFFFF); },
                      "exceeds 32767"},
        MalformedCase{"UnsupportedPacketType", 0, [] { return packet(0x07, "abc"); },
                      "unsupported packet bulk load"},
        MalformedCase{"BatchBeforeLogin", 0, [] { return packet(0x01, sqlText("select 1")); },
                      "SQL batch before PRELOGIN"},
        MalformedCase{"PreloginWithoutTerminator", 0,
                      [] { return packet(0x12, std::string("\x00\x00\x05\x00\x00", 5)); },
                      "no terminator"},
        MalformedCase{"PreloginOptionOutside", 0,
                      [] { return packet(0x12, std::string("\x01\x01\x00\x00\x01\xFF", 6)); },
                      "lies outside the message"},
        MalformedCase{"LoginShorterThanFixedPart", 0,
                      [] { return packet(0x10, std::string(40, '\0')); },
                      "shorter than its fixed part"},
        MalformedCase{"LoginLengthFieldTooLarge", 0,
                      [] {
                          return packet(0x10, login7(0x74000004, [](std::string& p) {
                                            put32(p, 0, static_cast<std::uint32_t>(p.size() + 10));
                                        }));
                      },
                      "does not match"},
        MalformedCase{"LoginNameOutsideMessage", 0,
                      [] {
                          return packet(0x10, login7(0x74000004,
                                                     [](std::string& p) { put16(p, 40, 60000); }));
                      },
                      "user name lies outside the message"},
        MalformedCase{"LoginNameTooLong", 0,
                      [] {
                          return packet(
                              0x10, login7(0x74000004, [](std::string& p) { put16(p, 42, 5000); }));
                      },
                      "user name is 5000 characters long"},
        MalformedCase{"LoginOverItsBound", 0,
                      [] {
                          std::string s;
                          for (int i = 0; i < 5; ++i)
                              s += packet(0x10, std::string(32000, 'x'), false);
                          return s;
                      },
                      "LOGIN7 message exceeds 131071 bytes"},
        MalformedCase{"Tds70Login", 0, [] { return packet(0x10, login7(0x70000000)); },
                      "older than 7.1"},
        MalformedCase{"BadAllHeadersLength", 0x74000004,
                      [] {
                          std::string h = allHeaders();
                          put32(h, 0, 0xFFFF);
                          return packet(0x01, h + sqlText("select 1"));
                      },
                      "ALL_HEADERS length 65535"},
        MalformedCase{"BadHeaderInsideAllHeaders", 0x72090002,
                      [] {
                          std::string h = allHeaders();
                          put32(h, 4, 2);
                          return packet(0x01, h + sqlText("select 1"));
                      },
                      "header length 2"},
        MalformedCase{"OddBatchText", 0x71000001, [] { return packet(0x01, "abc"); },
                      "odd number of bytes"},
        MalformedCase{"BatchOverItsBound", 0x71000001,
                      [] {
                          std::string s;
                          for (int i = 0; i < 34; ++i)
                              s += packet(0x01, std::string(32000, 'x'), false);
                          return s;
                      },
                      "SQL batch message exceeds 1048576 bytes"},
        MalformedCase{"TypeChangesInsideMessage", 0x71000001,
                      [] { return packet(0x01, sqlText("select"), false) + packet(0x03, "xx"); },
                      "RPC packet inside a SQL batch message"},
        MalformedCase{"SecondLogin", 0x71000001, [] { return packet(0x10, login7(0x71000001)); },
                      "LOGIN7 after login"}),
    [](const testing::TestParamInfo<MalformedCase>& i) { return std::string(i.param.name); });

TEST(Wire, SigtermStopsTheServerWithOpenConnections)
{
    TestServer server(TestServer::catalogue("demo"));
    probe::Connection idle;
    ASSERT_EQ(idle.connect(probe::connectionString(server.port(), "sa", "")), probe::Rc::Success);
    Raw halfway(server.port());
    halfway.send(packet(0x12, "", false, 100).substr(0, 20));
    EXPECT_EQ(server.stop(), 0);
}
