#include "MarkerGeometry.h"

#include "core/StoredValue.h"

namespace sorvane {

double MarkerGeometry::GetAnyPos(double seconds) const {
    if (mediaLength == 0) return 0;
    return usableWidth() * seconds / mediaLength;
}

double MarkerGeometry::TimeAt(double leftTw) const {
    const double w = usableWidth();
    if (w == 0) return 0;
    const double t = RoundHalfEven(mediaLength * leftTw / w, 4);
    if (t < 0) return 0;
    if (t > mediaLength) return RoundHalfEven(mediaLength, 3);
    return t;
}

double MarkerGeometry::DragLeft(int marker, double cursorXTw, double startLeftTw) const {
    // relX is the cursor 100 twips right of where the marker's left edge is to go.
    double relX = cursorXTw + 100;
    if (relX - 100 < -30) relX = 65;
    if (relX > graphWidth + 30) relX = graphWidth + 30;
    if (marker == 1 && relX - 125 < startLeftTw) relX = startLeftTw + 7 * tpp;
    return relX - 100;
}

double MarkerGeometry::PlayFromHere(double clickXTw) const {
    if (graphWidth == 0) return 0;
    return mediaLength * (clickXTw + 70) / graphWidth;
}

} // namespace sorvane
