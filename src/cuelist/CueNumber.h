#pragma once

#include <QString>
#include <optional>

namespace sorvane {

// A text read as a number with the result of ReadNumber, for the redraw that reads every
// field of every row. Two kinds of text are settled without the locale: plain integers (what
// row numbers and the show files hold) and texts that begin with a character no number
// begins with (paths, names).
std::optional<double> ReadNumberQuick(const QString& t);

} // namespace sorvane
