#pragma once

// Window geometry is kept in twips (1/1440 inch); the screen's real resolution turns it
// into pixels (15 twips per pixel at 96 dpi).

#include <QFrame>
#include <QTreeView>
#include <QWidget>

namespace sorvane {

double TwipsPerPixel();
int TwToPx(int twips);
int PxToTw(int pixels);

int LeftTw(const QWidget* w);
int TopTw(const QWidget* w);
int WidthTw(const QWidget* w);
int HeightTw(const QWidget* w);
void SetLeftTw(QWidget* w, int twips);
void SetTopTw(QWidget* w, int twips);
void SetWidthTw(QWidget* w, int twips);
void SetHeightTw(QWidget* w, int twips);
void SetGeometryTw(QWidget* w, int left, int top, int width, int height);

// Twips that were set are read back as set, as long as the widget still stands at the pixel
// they gave; otherwise the pixel is converted.
int KeptTw(const QWidget* w, const char* key, int pixels);
void KeepTw(QWidget* w, const char* key, int twips);

// Column widths of a report list, in twips.
int ColumnWidthTw(const QTreeView* view, int column);
void SetColumnWidthTw(QTreeView* view, int column, int twips);

// A horizontal rule placed by its end points in twips (the X1, X2, Y1, Y2 of a line control).
class LineControl : public QFrame {
    Q_OBJECT
public:
    LineControl(QWidget* parent, int x1, int x2, int y, const QColor& colour);
    int X1() const { return x1_; }
    int X2() const { return x2_; }
    int Y1() const { return y1_; }
    int Y2() const { return y2_; }
    void setX1(int v);
    void setX2(int v);
    void setY1(int v);
    void setY2(int v);

private:
    void place();
    int x1_, x2_, y1_, y2_;
};

} // namespace sorvane
