#pragma once
// Runs one batch against the catalogue, as the server of the catalogue's generation would:
// compile errors reject the whole batch, run-time errors end their statement (or the batch,
// where the server does so). The caller holds ServerState::mutex. Used by the session and by
// the tests directly.

#include "Catalogue.h"
#include "Results.h"

#include <string>
#include <string_view>

namespace testserver {

// Per-connection settings that statements read and change.
struct SessionSettings {
    int spid = 51;
    std::string user;
    std::string database = "master";
    bool noCount = false;
    bool quotedIdentifier = true;
    bool implicitTransactions = false;
    int tranCount = 0;
};

BatchResult executeBatch(std::string_view sql, Catalogue& catalogue, SessionSettings& session);

} // namespace testserver
