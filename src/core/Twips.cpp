#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace sorvane {

double TwipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int TwToPx(int twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel()));
}
int PxToTw(int pixels) {
    return static_cast<int>(std::lround(pixels * TwipsPerPixel()));
}

int KeptTw(const QWidget* w, const char* key, int pixels) {
    const QVariant kept = w->property(key);
    if (kept.isValid() && TwToPx(kept.toInt()) == pixels) return kept.toInt();
    return PxToTw(pixels);
}

void KeepTw(QWidget* w, const char* key, int twips) {
    w->setProperty(key, twips);
}

int LeftTw(const QWidget* w) {
    return KeptTw(w, "twLeft", w->x());
}
int TopTw(const QWidget* w) {
    return KeptTw(w, "twTop", w->y());
}
int WidthTw(const QWidget* w) {
    return KeptTw(w, "twWidth", w->width());
}
int HeightTw(const QWidget* w) {
    return KeptTw(w, "twHeight", w->height());
}
void SetLeftTw(QWidget* w, int twips) {
    KeepTw(w, "twLeft", twips);
    w->move(TwToPx(twips), w->y());
}
void SetTopTw(QWidget* w, int twips) {
    KeepTw(w, "twTop", twips);
    w->move(w->x(), TwToPx(twips));
}
void SetWidthTw(QWidget* w, int twips) {
    twips = std::max(0, twips);
    KeepTw(w, "twWidth", twips);
    w->resize(TwToPx(twips), w->height());
}
void SetHeightTw(QWidget* w, int twips) {
    twips = std::max(0, twips);
    KeepTw(w, "twHeight", twips);
    w->resize(w->width(), TwToPx(twips));
}
void SetGeometryTw(QWidget* w, int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    KeepTw(w, "twLeft", left);
    KeepTw(w, "twTop", top);
    KeepTw(w, "twWidth", width);
    KeepTw(w, "twHeight", height);
    w->setGeometry(TwToPx(left), TwToPx(top), TwToPx(width), TwToPx(height));
}

int ColumnWidthTw(const QTreeView* view, int column) {
    const QByteArray key = "twColumn" + QByteArray::number(column);
    return KeptTw(view, key.constData(), view->columnWidth(column));
}

void SetColumnWidthTw(QTreeView* view, int column, int twips) {
    const QByteArray key = "twColumn" + QByteArray::number(column);
    KeepTw(view, key.constData(), twips);
    view->setColumnWidth(column, TwToPx(twips));
}

LineControl::LineControl(QWidget* parent, int x1, int x2, int y, const QColor& colour)
    : QFrame(parent), x1_(x1), x2_(x2), y1_(y), y2_(y) {
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, colour);
    setPalette(p);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    place();
}

void LineControl::setX1(int v) {
    x1_ = v;
    place();
}
void LineControl::setX2(int v) {
    x2_ = v;
    place();
}
void LineControl::setY1(int v) {
    y1_ = v;
    place();
}
void LineControl::setY2(int v) {
    y2_ = v;
    place();
}

void LineControl::place() {
    const int left = TwToPx(std::min(x1_, x2_));
    const int right = TwToPx(std::max(x1_, x2_));
    const int top = TwToPx(std::min(y1_, y2_));
    const int bottom = TwToPx(std::max(y1_, y2_));
    setGeometry(left, top, std::max(1, right - left), std::max(1, bottom - top + 1));
}

} // namespace sorvane
