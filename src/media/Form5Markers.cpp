// The marker editor's graph: the waveform, the markers with their band, captions and arrows,
// the play-head, and the dragging followed by the 10-ms timer.

#include "Form5.h"

#include "Waveform.h"
#include "core/Module1.h"
#include "core/StoredValue.h"
#include "core/Twips.h"
#include "platform/engine/MediaPlayer.h"

#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <cmath>

namespace sorvane {

namespace {
int MouseButtons(Qt::MouseButtons b) {
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) |
           (b & Qt::MiddleButton ? 4 : 0);
}
int MouseButton(Qt::MouseButton b) {
    return MouseButtons(Qt::MouseButtons(b));
}
int Px(double twips) {
    return static_cast<int>(std::lround(twips / TwipsPerPixel()));
}
} // namespace

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (bandVisible) {
        const double tpp = TwipsPerPixel();
        p.fillRect(QRectF(bandLeftTw / tpp, 0, bandWidthTw / tpp, height()), QColor(0, 0, 128));
    }
    if (!picture.isNull()) p.drawImage(0, 0, picture);
}

void GraphView::mouseMoveEvent(QMouseEvent* e) {
    if (onMouseMove) onMouseMove(MouseButtons(e->buttons()), e->position().x() * TwipsPerPixel());
}

void GraphView::mousePressEvent(QMouseEvent* e) {
    if (onMouseDown) onMouseDown(MouseButton(e->button()), e->position().x() * TwipsPerPixel());
}

void Form5::LoadGraph(const QString& filename) {
    if (unloaded_) return;
    // 1. the band is hidden while the picture is made
    Picture1->bandVisible = false;
    Picture1->update();
    // 2, 3, 6. the file is read while the window's events run; a window closed meanwhile ends
    // it without touching the window again, and an unreadable file leaves any earlier picture
    const double width = WidthTw(Picture1), height = HeightTw(Picture1);
    QPointer<Form5> self(this);
    const auto trace = ReadWaveform(filename, width, TwipsPerPixel(),
                                    [self] { return !self.isNull() && !self->unloaded_; });
    if (self.isNull() || unloaded_ || !trace) return;
    // 4, 5. the scale; the graph is cleared
    const auto scale = ScaleWaveform(*trace, height);
    QImage image(Picture1->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // All values 0: the scale has no value; the graph stays empty and the band hidden.
    if (scale) DrawWaveform(image, *trace, *scale, TwipsPerPixel());
    Picture1->picture = image;
    // 7. unless a read failed while the points were collected
    if (scale && trace->complete) placeBand();
    Picture1->update();
}

MarkerGeometry Form5::geometry() const {
    MarkerGeometry g;
    g.tpp = TwipsPerPixel();
    g.graphWidth = graphWidthTw();
    g.mediaLength = MediaLength;
    return g;
}

double Form5::graphWidthTw() const {
    return WidthTw(Picture1);
}

double Form5::GetAnyPos(double val) const {
    return geometry().GetAnyPos(val);
}

double Form5::GetMarkerPos(std::int16_t Index) const {
    if (Index < 0 || Index > 1) return 0;
    return geometry().TimeAt(markerLeft_[static_cast<size_t>(Index)]);
}

void Form5::placeMarker(int i, double leftTw) {
    markerLeft_[static_cast<size_t>(i)] = leftTw;
    QWidget* m = pctMarker[static_cast<size_t>(i)];
    m->move(Px(leftTw), 0);
}

void Form5::placePosition(double leftTw) {
    positionLeft_ = leftTw;
    pctPosition->move(Px(leftTw), 0);
}

void Form5::placeCaption(int i, double leftTw) {
    captionLeft_[static_cast<size_t>(i)] = leftTw;
    QLabel* c = lblPositionMarker[static_cast<size_t>(i)];
    c->move(Px(leftTw), c->y());
}

void Form5::placeArrow(int i, double leftTw) {
    arrowLeft_[static_cast<size_t>(i)] = leftTw;
    QLabel* a = imgPositionArrow[static_cast<size_t>(i)];
    a->move(Px(leftTw), a->y());
}

void Form5::placeBand() {
    Picture1->bandLeftTw = markerLeft_[0];
    const double d = markerLeft_[1] - markerLeft_[0];
    Picture1->bandVisible = d >= 1;
    if (d >= 1) Picture1->bandWidthTw = d;
    Picture1->update();
}

void Form5::SetMarkers() {
    if (unloaded_) return;
    const double pictureLeft = LeftTw(Picture1);
    // 1, 2. both markers by the same mapping (their read-back uses it too)
    placeMarker(0, GetAnyPos(MediaPlayer1->SelectionStart()));
    placeMarker(1, GetAnyPos(MediaPlayer1->SelectionEnd()));
    // 5 first, so that the captions' widths are known when they are placed.
    lblPositionMarker[0]->setText(QStringLiteral("Start: ") +
                                  DecimalText(MediaPlayer1->SelectionStart()) +
                                  QStringLiteral(" s"));
    lblPositionMarker[1]->setText(QStringLiteral("End: ") +
                                  DecimalText(MediaPlayer1->SelectionEnd()) + QStringLiteral(" s"));
    for (QLabel* c : lblPositionMarker)
        c->adjustSize();
    // 3. the band
    placeBand();
    // 4. captions and arrows; the end caption keeps 100 twips right of the start caption
    for (int i = 0; i < 2; ++i) {
        double left = pictureLeft + markerLeft_[static_cast<size_t>(i)] - 160;
        if (i == 1) {
            const double minimum = captionLeft_[0] + WidthTw(lblPositionMarker[0]) + 100;
            if (minimum > left) left = minimum;
        }
        placeCaption(i, left);
        placeArrow(i, pictureLeft + markerLeft_[static_cast<size_t>(i)] + 30);
    }
}

void Form5::pctMarker_MouseDown(int Index, int Button) {
    // The left button drags; a right-click goes on to the graph and its menu.
    if (Button == 1) DragMarker = static_cast<std::int16_t>(Index);
}

void Form5::pctMarker_MouseUp(int) {
    DragMarker = -1;
}

void Form5::Picture1_MouseMove(int Button, double X) {
    if (Button == 0) DragMarker = -1;
    if (DragMarker >= 0) return;
    Picture1->unsetCursor();
    for (int i = 0; i < 2; ++i) {
        if (MarkerGeometry::InReach(markerLeft_[static_cast<size_t>(i)], X)) {
            Picture1->setCursor(Qt::SizeHorCursor);
            if (Button == 1) DragMarker = static_cast<std::int16_t>(i); // the end marker wins
        }
    }
}

void Form5::Timer1_Timer() {
    if (unloaded_) return;
    // 1. the cursor, in twips from the graph's left edge
    const double x =
        cursorXTw ? cursorXTw() : Picture1->mapFromGlobal(QCursor::pos()).x() * TwipsPerPixel();
    // 2. the play-head, dragging or not
    placePosition(GetAnyPos(MediaPlayer1->CurrentPosition()));
    // 3. the drag
    if (DragMarker != 0 && DragMarker != 1) return;
    const int d = DragMarker;
    const MarkerGeometry g = geometry();
    placeMarker(d, g.DragLeft(d, x, markerLeft_[0]));
    placeBand();
    const double pictureLeft = LeftTw(Picture1);
    if (d == 1) {
        const double minimum = captionLeft_[0] + WidthTw(lblPositionMarker[0]) + 100;
        placeCaption(1, std::max(markerLeft_[1] - 160 + pictureLeft, minimum));
    } else {
        placeCaption(0, markerLeft_[0] - 160 + pictureLeft);
    }
    placeArrow(d, pictureLeft + markerLeft_[static_cast<size_t>(d)]);
    // The caption shows the selection as it stood before this tick.
    QLabel* caption = lblPositionMarker[static_cast<size_t>(d)];
    const QString text =
        d == 0 ? QStringLiteral("Start: ") + DecimalText(MediaPlayer1->SelectionStart())
               : QStringLiteral("End: ") + DecimalText(MediaPlayer1->SelectionEnd());
    if (caption->text() != text + QStringLiteral(" s")) {
        caption->setText(text + QStringLiteral(" s"));
        caption->adjustSize();
    }
    MediaPlayer1->setSelectionStart(GetMarkerPos(0));
    MediaPlayer1->setSelectionEnd(GetMarkerPos(1));
}

bool Form5::eventFilter(QObject* watched, QEvent* e) {
    for (int i = 0; i < 2; ++i) {
        if (watched != pctMarker[static_cast<size_t>(i)]) continue;
        if (e->type() == QEvent::MouseButtonPress)
            pctMarker_MouseDown(i, MouseButton(static_cast<QMouseEvent*>(e)->button()));
        if (e->type() == QEvent::MouseButtonRelease) pctMarker_MouseUp(i);
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace sorvane
