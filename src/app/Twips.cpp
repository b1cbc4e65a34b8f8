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

int TwToPx(int twips) { return static_cast<int>(std::lround(twips / TwipsPerPixel())); }
int PxToTw(int pixels) { return static_cast<int>(std::lround(pixels * TwipsPerPixel())); }

int LeftTw(const QWidget* w) { return PxToTw(w->x()); }
int TopTw(const QWidget* w) { return PxToTw(w->y()); }
int WidthTw(const QWidget* w) { return PxToTw(w->width()); }
int HeightTw(const QWidget* w) { return PxToTw(w->height()); }
void SetLeftTw(QWidget* w, int twips) { w->move(TwToPx(twips), w->y()); }
void SetTopTw(QWidget* w, int twips) { w->move(w->x(), TwToPx(twips)); }
void SetWidthTw(QWidget* w, int twips) { w->resize(std::max(0, TwToPx(twips)), w->height()); }
void SetHeightTw(QWidget* w, int twips) { w->resize(w->width(), std::max(0, TwToPx(twips))); }
void SetGeometryTw(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(TwToPx(left), TwToPx(top), std::max(0, TwToPx(width)), std::max(0, TwToPx(height)));
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

void LineControl::setX1(int v) { x1_ = v; place(); }
void LineControl::setX2(int v) { x2_ = v; place(); }
void LineControl::setY1(int v) { y1_ = v; place(); }
void LineControl::setY2(int v) { y2_ = v; place(); }

void LineControl::place() {
    const int left = TwToPx(std::min(x1_, x2_));
    const int right = TwToPx(std::max(x1_, x2_));
    const int top = TwToPx(std::min(y1_, y2_));
    const int bottom = TwToPx(std::max(y1_, y2_));
    setGeometry(left, top, std::max(1, right - left), std::max(1, bottom - top + 1));
}

} // namespace sorvane
