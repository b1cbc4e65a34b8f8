#include "StoredValue.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace sorvane {

namespace {
QLocale numberLocale() {
    QLocale loc;
    loc.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return loc;
}
} // namespace

QString DecimalText(double value) {
    if (value == 0) return QStringLiteral("0"); // also -0
    return numberLocale().toString(value, 'g', 15);
}

std::optional<double> ReadNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    bool ok = false;
    const double v = numberLocale().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

double RoundDown(double value) {
    return std::floor(value);
}

double RoundHalfEven(double value, int digits) {
    const double scale = std::pow(10.0, digits);
    // Work on the decimal text of the scaled value so that 27.775 * 100 style
    // representation noise does not decide the tie.
    const double scaled = value * scale;
    const double cleaned = QString::number(scaled, 'g', 12).toDouble();
    return std::nearbyint(cleaned) / scale; // default rounding mode: ties to even
}

StoredValue StoredValue::int16(std::int16_t v) {
    StoredValue s;
    s.kind_ = Kind::Int16;
    s.num_ = v;
    return s;
}

StoredValue StoredValue::int32(std::int32_t v) {
    StoredValue s;
    s.kind_ = Kind::Int32;
    s.num_ = v;
    return s;
}

StoredValue StoredValue::number(double v) {
    StoredValue s;
    s.kind_ = Kind::Double;
    s.num_ = v;
    return s;
}

StoredValue StoredValue::text(const QString& v) {
    StoredValue s;
    s.kind_ = Kind::Text;
    s.text_ = v;
    return s;
}

QString StoredValue::toText() const {
    switch (kind_) {
    case Kind::Empty:
        return QString();
    case Kind::Text:
        return text_;
    default:
        return DecimalText(num_);
    }
}

std::optional<double> StoredValue::toNumber() const {
    if (isNumber()) return num_;
    if (kind_ == Kind::Text) return ReadNumber(text_);
    return std::nullopt;
}

std::optional<std::int16_t> StoredValue::toInt16() const {
    const auto n = toNumber();
    if (!n) return std::nullopt;
    const double f = RoundDown(*n);
    if (f < std::numeric_limits<std::int16_t>::min() ||
        f > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return static_cast<std::int16_t>(f);
}

std::optional<std::int32_t> StoredValue::toInt32() const {
    const auto n = toNumber();
    if (!n) return std::nullopt;
    const double f = RoundDown(*n);
    if (f < std::numeric_limits<std::int32_t>::min() ||
        f > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(f);
}

bool StoredValue::equalsNumber(double n) const {
    const auto v = toNumber();
    return v && *v == n;
}

bool StoredValue::operator==(const StoredValue& other) const {
    if (kind_ != other.kind_) return false;
    if (kind_ == Kind::Text) return text_ == other.text_;
    return num_ == other.num_;
}

} // namespace sorvane
