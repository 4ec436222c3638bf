#pragma once
// Raw deflate data (RFC 1951) decoded in one piece (zlib), for tests and the import fuzz target.
#include <string>
#include <string_view>

// Throws EStatusError on damaged or truncated data.
std::string InflateRaw(std::string_view compressed);
