#pragma once
// Text helpers shared by the test server's layers: UTF-8 (our internal form) to and from
// UTF-16LE (the wire form of nchar/nvarchar and of names in LOGIN7), and the comparison rules
// of a case-insensitive SQL Server collation (case folded, trailing blanks ignored).

#include <cstdint>
#include <string>
#include <string_view>

namespace testserver {

// Malformed UTF-16 (lone surrogates) becomes U+FFFD rather than an error: the text may come
// straight from the wire and only ever goes into logs and names.
std::string utf16leToUtf8(std::string_view bytes);
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf8ToUtf16le(std::string_view utf8);
std::size_t utf16Length(std::string_view utf8);

// Code page 1252 is what the server's default collation gives varchar columns; characters
// outside it become '?', as the real server's conversion does.
std::string utf8ToCp1252(std::string_view utf8);

// Equality as the default collation (…_CI_AS) sees it.
bool sqlEquals(std::string_view a, std::string_view b);
std::string sqlFold(std::string_view s);

std::string toUpperAscii(std::string_view s);
bool iequalsAscii(std::string_view a, std::string_view b);

} // namespace testserver
