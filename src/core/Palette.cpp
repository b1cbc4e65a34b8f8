#include "Palette.h"

#include <QPalette>
#include <QWidget>

namespace sorvane {

QFont SmallFont() {
    QFont f(QStringLiteral("Small Fonts"));
    f.setPointSizeF(6.75);
    return f;
}

QFont SevenPointFont(QFont base) {
    base.setPointSizeF(7);
    return base;
}

void SetTextColour(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    w->setPalette(p);
}

void SetBackground(QWidget* w, const QColor& c) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Base, c);
    p.setColor(QPalette::Button, c);
    w->setPalette(p);
}

} // namespace sorvane
