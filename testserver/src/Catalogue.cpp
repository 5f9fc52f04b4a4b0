#include "Catalogue.h"

#include "Text.h"

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace testserver {

using nlohmann::json;

namespace {

constexpr std::size_t kMaxNameUnits = 128;
constexpr std::size_t kMaxFileNameUnits = 260;
constexpr std::size_t kMaxTextUnits = 4000;

std::string context(const std::string& where, const std::string& what)
{
    return where.empty() ? what : where + ": " + what;
}

std::string requireString(const json& j, const char* key, const std::string& where,
                          std::size_t maxUnits)
{
    if (!j.contains(key) || !j.at(key).is_string())
        throw CatalogueError(context(where, std::string("\"") + key + "\" must be a string"));
    std::string s = j.at(key).get<std::string>();
    if (utf16Length(s) > maxUnits)
        throw CatalogueError(context(where, std::string("\"") + key + "\" is longer than " +
                                                std::to_string(maxUnits) + " characters"));
    return s;
}

std::optional<std::string> optionalString(const json& j, const char* key, const std::string& where,
                                          std::size_t maxUnits)
{
    if (!j.contains(key) || j.at(key).is_null())
        return std::nullopt;
    return requireString(j, key, where, maxUnits);
}

std::int64_t requireKb(const json& j, const char* key, const std::string& where)
{
    if (!j.at(key).is_number_integer())
        throw CatalogueError(context(where, std::string("\"") + key + "\" must be an integer"));
    const auto v = j.at(key).get<std::int64_t>();
    // 2^31 pages of 8 KB is the largest file the server can describe.
    if (v < 0 || v > (std::int64_t{1} << 34))
        throw CatalogueError(context(where, std::string("\"") + key + "\" is out of range"));
    return v;
}

double delaySeconds(const json& faults, const char* key)
{
    if (!faults.contains(key) || faults.at(key).is_null())
        return 0;
    if (!faults.at(key).is_number())
        throw CatalogueError(std::string("faults.") + key + " must be a number");
    const double v = faults.at(key).get<double>();
    if (!(v >= 0 && v <= 3600))
        throw CatalogueError(std::string("faults.") + key + " must be between 0 and 3600");
    return v;
}

std::string upperChoice(const std::string& value, std::initializer_list<const char*> allowed,
                        const std::string& what)
{
    const std::string up = toUpperAscii(value);
    for (const char* a : allowed)
        if (up == a)
            return up;
    throw CatalogueError(what + " has an unknown value \"" + value + "\"");
}

DbFile parseFile(const json& j, std::size_t index, const std::string& where)
{
    if (!j.is_object())
        throw CatalogueError(context(where, "a file must be an object"));
    DbFile f;
    f.name = requireString(j, "name", where, kMaxNameUnits);
    const std::string fwhere = where + ", file '" + f.name + "'";
    f.fileName = optionalString(j, "filename", fwhere, kMaxFileNameUnits).value_or("");
    f.sizeText = optionalString(j, "size", fwhere, kMaxTextUnits);
    if (!j.contains("size_kb"))
        throw CatalogueError(context(fwhere, "\"size_kb\" is required"));
    f.sizeKb = requireKb(j, "size_kb", fwhere);
    if (auto s = optionalString(j, "maxsize", fwhere, kMaxTextUnits))
        f.maxSize = *s;
    if (auto s = optionalString(j, "growth", fwhere, kMaxTextUnits))
        f.growth = *s;
    if (auto s = optionalString(j, "usage", fwhere, 9))
        f.usage = *s;
    if (auto t = optionalString(j, "type", fwhere, 16))
        f.isLog = upperChoice(*t, {"LOG", "DATA"}, fwhere + " \"type\"") == "LOG";
    else
        f.isLog = toUpperAscii(f.usage).find("LOG") != std::string::npos;
    // Defaults chosen so that an unspecified log can be emptied and shrunk to 512 KB (the
    // server's smallest log), while an unspecified data file is full and stays as it is.
    f.minKb = j.contains("min_kb") ? requireKb(j, "min_kb", fwhere) : (f.isLog ? 512 : f.sizeKb);
    f.usedKb = j.contains("used_kb") ? requireKb(j, "used_kb", fwhere) : (f.isLog ? 0 : f.sizeKb);
    if (j.contains("fileid")) {
        if (!j.at("fileid").is_number_integer() || j.at("fileid").get<int>() < 1 ||
            j.at("fileid").get<int>() > 32767)
            throw CatalogueError(context(fwhere, "\"fileid\" must be between 1 and 32767"));
        f.fileId = j.at("fileid").get<int>();
    } else {
        f.fileId = static_cast<int>(index + 1);
    }
    if (j.contains("filegroup"))
        f.fileGroup = optionalString(j, "filegroup", fwhere, kMaxNameUnits);
    else if (!f.isLog)
        f.fileGroup = "PRIMARY";
    return f;
}

Database parseDatabase(const json& j, std::size_t index)
{
    if (!j.is_object())
        throw CatalogueError("a database must be an object");
    Database d;
    d.name = requireString(j, "name", "", kMaxNameUnits);
    if (d.name.empty())
        throw CatalogueError("a database name is empty");
    const std::string where = "database '" + d.name + "'";
    d.id = static_cast<int>(index + 1);
    if (j.contains("dbid")) {
        if (!j.at("dbid").is_number_integer() || j.at("dbid").get<int>() < 1 ||
            j.at("dbid").get<int>() > 32767)
            throw CatalogueError(where + ": \"dbid\" must be between 1 and 32767");
        d.id = j.at("dbid").get<int>();
    }
    if (auto r = optionalString(j, "recovery", where, 16))
        d.recovery = upperChoice(*r, {"SIMPLE", "FULL", "BULK_LOGGED"}, where + " \"recovery\"");
    if (auto w = optionalString(j, "log_reuse_wait", where, 60))
        d.logReuseWait = toUpperAscii(*w);
    if (j.contains("dboption_denied")) {
        if (!j.at("dboption_denied").is_boolean())
            throw CatalogueError(where + ": \"dboption_denied\" must be true or false");
        d.dboptionDenied = j.at("dboption_denied").get<bool>();
    }
    if (j.contains("files")) {
        if (!j.at("files").is_array())
            throw CatalogueError(where + ": \"files\" must be an array");
        for (std::size_t i = 0; i < j.at("files").size(); ++i)
            d.files.push_back(parseFile(j.at("files").at(i), i, where));
    }
    return d;
}

ListQueryFault parseListFault(const json& v)
{
    ListQueryFault f;
    if (v.is_null())
        return f;
    if (v.is_boolean()) {
        f.remaining = v.get<bool>() ? -1 : 0;
        return f;
    }
    if (v.is_number_integer()) {
        f.remaining = v.get<std::int64_t>();
        if (f.remaining < 0)
            throw CatalogueError("faults.fail_list_query must not be negative");
        return f;
    }
    if (!v.is_object())
        throw CatalogueError("faults.fail_list_query must be a boolean, an integer or an object");
    f.remaining = -1;
    if (v.contains("times") && !v.at("times").is_null()) {
        if (!v.at("times").is_number_integer() || v.at("times").get<std::int64_t>() < 0)
            throw CatalogueError("faults.fail_list_query.times must be a whole number");
        f.remaining = v.at("times").get<std::int64_t>();
    }
    auto intField = [&](const char* key, int& out, int lo, int hi) {
        if (!v.contains(key))
            return;
        if (!v.at(key).is_number_integer() || v.at(key).get<int>() < lo ||
            v.at(key).get<int>() > hi)
            throw CatalogueError(std::string("faults.fail_list_query.") + key + " is out of range");
        out = v.at(key).get<int>();
    };
    intField("number", f.number, 1, 2147483647);
    intField("severity", f.severity, 11, 25);
    intField("state", f.state, 0, 255);
    f.message = optionalString(v, "message", "faults.fail_list_query", kMaxTextUnits).value_or("");
    return f;
}

// A batch number or a list of them, server-wide and counted from 1; absent or null: none.
std::vector<std::int64_t> batchNumbers(const json& faults, const char* key)
{
    std::vector<std::int64_t> numbers;
    if (!faults.contains(key) || faults.at(key).is_null())
        return numbers;
    const json& d = faults.at(key);
    const json list = d.is_array() ? d : json::array({d});
    for (const json& n : list) {
        if (!n.is_number_integer() || n.get<std::int64_t>() < 1)
            throw CatalogueError(std::string("faults.") + key +
                                 " must hold batch numbers from 1 on");
        numbers.push_back(n.get<std::int64_t>());
    }
    return numbers;
}

Faults parseFaults(const json& j)
{
    Faults f;
    if (j.is_null())
        return f;
    if (!j.is_object())
        throw CatalogueError("\"faults\" must be an object");
    f.loginDelaySeconds = delaySeconds(j, "login_delay_s");
    f.batchDelaySeconds = delaySeconds(j, "batch_delay_s");
    f.dropOnBatches = batchNumbers(j, "drop_on_batch");
    if (j.contains("fail_list_query"))
        f.failListQuery = parseListFault(j.at("fail_list_query"));
    f.delayBatches = batchNumbers(j, "delay_batches");
    if (j.contains("helpfile_omit") && !j.at("helpfile_omit").is_null()) {
        const json& o = j.at("helpfile_omit");
        if (!o.is_array())
            throw CatalogueError("faults.helpfile_omit must be a list of column names");
        for (const json& c : o) {
            if (!c.is_string() || c.get<std::string>().size() > 128)
                throw CatalogueError("faults.helpfile_omit must be a list of column names");
            f.helpfileOmit.push_back(c.get<std::string>());
        }
    }
    return f;
}

Generation parseGeneration(const std::string& version)
{
    Generation g;
    int parts[3] = {0, 0, 0};
    std::size_t pos = 0;
    for (int i = 0; i < 3 && pos <= version.size(); ++i) {
        const std::size_t dot = version.find('.', pos);
        const std::string part = version.substr(pos, dot == std::string::npos ? dot : dot - pos);
        if (part.empty() || part.size() > 5 ||
            part.find_first_not_of("0123456789") != std::string::npos)
            throw CatalogueError("\"version\" must look like 8.00.2039, not \"" + version + "\"");
        parts[i] = std::stoi(part);
        if (dot == std::string::npos)
            break;
        pos = dot + 1;
    }
    g.major = parts[0];
    g.minor = parts[1];
    g.build = parts[2];
    if (g.major < 8 || g.major > 16 || g.minor > 255 || g.build > 65535)
        throw CatalogueError("\"version\" " + version + " is not a server generation from 8 to 16");
    return g;
}

std::string defaultVersionText(const Catalogue& c)
{
    const Generation& g = c.generation;
    if (g.is2000())
        return "Microsoft SQL Server  2000 - " + c.version +
               " (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright (c) 1988-2003 Microsoft "
               "Corporation\n\tStandard Edition on Windows NT 5.2 (Build 3790: Service Pack 2)\n";
    return "Microsoft SQL Server " + g.releaseName() + " - " + c.version +
           " (X64) \n\tCopyright (c) Microsoft Corporation\n\tStandard Edition (64-bit) on "
           "Windows Server (Build 17763: )\n";
}

} // namespace

std::uint32_t Generation::tdsVersion() const
{
    if (major == 8)
        return 0x71000001;
    if (major == 9)
        return 0x72090002;
    if (major == 10)
        return minor >= 50 ? 0x730B0003 : 0x730A0003;
    return 0x74000004;
}

std::string Generation::releaseName() const
{
    switch (major) {
    case 8:
        return "2000";
    case 9:
        return "2005";
    case 10:
        return minor >= 50 ? "2008 R2" : "2008";
    case 11:
        return "2012";
    case 12:
        return "2014";
    case 13:
        return "2016";
    case 14:
        return "2017";
    case 15:
        return "2019";
    default:
        return "2022";
    }
}

std::string DbFile::sizeForDisplay() const
{
    return sizeText ? *sizeText : std::to_string(sizeKb) + " KB";
}

Catalogue Catalogue::fromJson(const json& j)
{
    if (!j.is_object())
        throw CatalogueError("the catalogue must be a JSON object");
    Catalogue c;
    c.version = requireString(j, "version", "", 32);
    c.generation = parseGeneration(c.version);
    if (auto s = optionalString(j, "server_name", "", kMaxNameUnits))
        c.serverName = *s;
    if (auto s = optionalString(j, "version_text", "", kMaxTextUnits))
        c.versionText = *s;
    else
        c.versionText = defaultVersionText(c);
    if (j.contains("logins")) {
        if (!j.at("logins").is_array())
            throw CatalogueError("\"logins\" must be an array");
        for (const json& l : j.at("logins")) {
            if (!l.is_object())
                throw CatalogueError("a login must be an object");
            c.logins.push_back(
                {requireString(l, "name", "login", kMaxNameUnits),
                 optionalString(l, "password", "login", kMaxNameUnits).value_or("")});
        }
    } else {
        c.logins.push_back({"sa", ""});
    }
    if (!j.contains("databases") || !j.at("databases").is_array())
        throw CatalogueError("\"databases\" must be an array");
    const json& dbs = j.at("databases");
    if (dbs.size() > 32767)
        throw CatalogueError("a server holds at most 32767 databases");
    c.databases.reserve(dbs.size());
    for (std::size_t i = 0; i < dbs.size(); ++i)
        c.databases.push_back(parseDatabase(dbs.at(i), i));
    if (!c.findDatabase("master"))
        throw CatalogueError("the catalogue needs a database named master");
    if (j.contains("faults"))
        c.faults = parseFaults(j.at("faults"));
    return c;
}

Catalogue Catalogue::fromText(const std::string& text)
{
    json j;
    try {
        j = json::parse(text);
    } catch (const json::exception& e) {
        throw CatalogueError(std::string("not valid JSON: ") + e.what());
    }
    return fromJson(j);
}

Catalogue Catalogue::loadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw CatalogueError("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    try {
        return fromText(ss.str());
    } catch (const CatalogueError& e) {
        throw CatalogueError(path + ": " + e.what());
    }
}

Database* Catalogue::findDatabase(const std::string& name)
{
    for (Database& d : databases)
        if (sqlEquals(d.name, name))
            return &d;
    return nullptr;
}

const LoginEntry* Catalogue::findLogin(const std::string& name) const
{
    for (const LoginEntry& l : logins)
        if (sqlEquals(l.name, name))
            return &l;
    return nullptr;
}

} // namespace testserver
