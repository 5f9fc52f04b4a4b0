#pragma once
// The two messages before a session exists: PRELOGIN (answered with our version and
// "encryption not supported") and LOGIN7 (names, the de-obfuscated password, the initial
// database). Parsing treats every offset and length as hostile. Used by the session.

#include "Catalogue.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace testserver {

struct PreloginRequest {
    bool hasEncryption = false;
    std::uint8_t encryption = 0;
};

PreloginRequest parsePrelogin(std::string_view payload);
std::string preloginResponse(const Generation& g);

struct LoginRequest {
    std::uint32_t tdsVersion = 0; // as the client wrote it, e.g. 0x74000004
    std::uint32_t packetSize = 0;
    bool odbc = false;
    bool integratedSecurity = false;
    std::string hostName;
    std::string userName;
    std::string password;
    std::string appName;
    std::string serverName;
    std::string language;
    std::string database;
};

LoginRequest parseLogin7(std::string_view payload);

// The version both sides speak from now on: the lower of the client's and the server's.
// Throws ProtocolError for versions before 7.1, which this server does not speak.
std::uint32_t negotiateTdsVersion(std::uint32_t clientVersion, std::uint32_t serverVersion);

} // namespace testserver
