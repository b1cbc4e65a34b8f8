#include "CueNumber.h"

#include "core/StoredValue.h"

namespace sorvane {

std::optional<double> ReadNumberQuick(const QString& t) {
    const qsizetype n = t.size();
    if (n == 0) return std::nullopt;
    const char16_t first = t[0].unicode();
    const bool negative = first == u'-';
    if (n <= 9 && (negative ? n > 1 : true)) {
        long value = 0;
        qsizetype i = negative ? 1 : 0;
        for (; i < n; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9') break;
            value = value * 10 + (c - u'0');
        }
        if (i == n) return negative ? -double(value) : double(value);
    }
    const bool mayBeNumber = first >= 0x80 || (first >= u'0' && first <= u'9') || first == u'-' ||
                             first == u'+' || first == u'.' || first == u',' ||
                             QChar(first).isSpace();
    if (!mayBeNumber) return std::nullopt;
    return ReadNumber(t);
}

} // namespace sorvane
