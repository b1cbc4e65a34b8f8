#include "VersionProbe.h"

namespace sorvane {
std::optional<VersionRecord> QueryPlatformVersion() {
    return std::nullopt;
}
} // namespace sorvane
