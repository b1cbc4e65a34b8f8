#pragma once

// The marker editor's mapping between seconds and twips along its graph, and where a dragged
// marker lands. Pure arithmetic: no window, no file.
//
// The whole media length maps onto the usable width W = graph width - 6 pixels. A marker is
// placed and read back by the same mapping (the end marker too), so opening the editor and
// closing it untouched gives back the markers as they were, to 4 decimals.

namespace sorvane {

struct MarkerGeometry {
    double tpp = 15;           // twips per pixel
    double graphWidth = 8715;  // Picture1.Width, twips
    double mediaLength = 0;    // seconds

    // Usable width W.
    double usableWidth() const { return graphWidth - 6 * tpp; }

    // GetAnyPos: seconds -> twips along the graph, without bounds. A media length of 0 puts
    // everything at the left end.
    double GetAnyPos(double seconds) const;

    // GetMarkerPos for a marker's left edge: twips -> seconds rounded to 4 decimals; below 0
    // gives 0, beyond the media length gives the length rounded to 3 decimals.
    double TimeAt(double leftTw) const;

    // The dragged marker's left edge for the cursor at `cursorXTw` in graph twips (the marker's
    // left edge follows the cursor): not left of -35, not right of width - 70, and the end
    // marker (`marker` 1) not closer than 25 twips right of the start marker's left edge, where
    // it goes to that edge plus 7 pixels less 100 twips.
    double DragLeft(int marker, double cursorXTw, double startLeftTw) const;

    // A mouse move at `xTw` is within reach of a marker whose left edge is at `leftTw`.
    static bool InReach(double leftTw, double xTw) { return leftTw - 100 < xTw && xTw < leftTw + 100; }

    // Play From Here: the time for a right-click at `clickXTw` (the graph's full width and an
    // offset of 70 twips).
    double PlayFromHere(double clickXTw) const;
};

} // namespace sorvane
