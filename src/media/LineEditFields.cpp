#include "LineEditFields.h"

#include <QLineEdit>

namespace sorvane {

LineEditFields::LineEditFields(Field file, Field start, Field end, std::function<void()> listClick,
                               Cues cues)
    : file_(std::move(file)), start_(std::move(start)), end_(std::move(end)),
      listClick_(std::move(listClick)), cues_(std::move(cues)) {}

QString LineEditFields::FileText() const {
    return file_.box->text();
}
QString LineEditFields::StartPosText() const {
    return start_.box->text();
}
QString LineEditFields::EndPosText() const {
    return end_.box->text();
}

void LineEditFields::ListView1_Click() {
    if (listClick_) listClick_();
}

void LineEditFields::put(const Field& f, const QString& text) {
    if (f.box->text() == text) {
        if (f.handler) f.handler();
    } else {
        f.box->setText(text);
    }
}

} // namespace sorvane
