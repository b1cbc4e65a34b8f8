#pragma once

#include <cstdint>
#include <optional>

namespace sorvane {

// The platform's version record: platform id (1 the 95 family, 2 NT, 3 CE), major, minor
// and build numbers.
struct VersionRecord {
    std::uint32_t platformId = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

// Asks the platform for its Windows version record. Linux has none, so the query fails.
std::optional<VersionRecord> QueryPlatformVersion();

} // namespace sorvane
