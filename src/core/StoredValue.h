#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace sorvane {

// Decimal text of a number in the user's locale: shortest form, no trailing zeros,
// no separator for whole numbers, at most 15 significant digits ("1", "1.5", "0.25").
QString DecimalText(double value);

// Reads a text as a number by the same locale rules (blanks around it allowed).
// An empty text or anything else that is not a number gives nothing.
std::optional<double> ReadNumber(const QString& text);

// The largest integer not above the value (-0.5 gives -1).
double RoundDown(double value);

// Round to `digits` decimals with a tie going to the even digit.
double RoundHalfEven(double value, int digits);

// The value a cue row's sub-item keeps: empty, a 16-bit or 32-bit integer, a double or a text.
class StoredValue {
public:
    enum class Kind { Empty, Int16, Int32, Double, Text };

    StoredValue() = default;
    static StoredValue int16(std::int16_t v);
    static StoredValue int32(std::int32_t v);
    static StoredValue number(double v);
    static StoredValue text(const QString& v);

    Kind kind() const { return kind_; }
    bool isEmpty() const { return kind_ == Kind::Empty; }
    bool isNumber() const {
        return kind_ == Kind::Int16 || kind_ == Kind::Int32 || kind_ == Kind::Double;
    }

    // A number as its decimal text, a text as it stands, empty as "".
    QString toText() const;
    // The value when it reads as a number.
    std::optional<double> toNumber() const;
    // Rounded down into a 16-bit (or 32-bit) integer; fails when it does not read as a number
    // or falls outside the type's range.
    std::optional<std::int16_t> toInt16() const;
    std::optional<std::int32_t> toInt32() const;
    // True when the value reads as a number equal to `n` (the text "0" counts as 0).
    bool equalsNumber(double n) const;

    bool operator==(const StoredValue& other) const;

private:
    Kind kind_ = Kind::Empty;
    double num_ = 0;
    QString text_;
};

} // namespace sorvane
