#pragma once

// The cache file target: any bytes as the file ".tolm_cache".
//
// The load must end normally whatever the bytes: it either reads records and
// says nothing, or logs exactly one of its documented warnings and leaves the
// cache empty. Records it read are saved, read back and saved again: the
// second read holds the same records (less those the writer leaves out for
// an assignment it has no text for), and the second save gives the same
// bytes as the first.
//
// Every assignment text in the bytes also goes to the reader's quick scanner
// and to the parser: where the scanner answers, it must answer as the parser.
// The reader's test for texts to rewrite must agree with the rewrite.

#include <filesystem>
#include <string_view>

namespace FuzzChecks {

// Works in `scratch`, an existing directory; throws Finding for a broken
// promise.
void cacheFileRoundTrip(std::string_view input, const std::filesystem::path& scratch);

}  // namespace FuzzChecks
