#pragma once

#include "controls/isButton/color.h"

#include <QPainter>
#include <QPalette>

namespace orvana::controls {

// Edge kinds and sides as stored by callers of DrawEdgeBox.
inline constexpr int BDR_RAISEDOUTER = 1;
inline constexpr int BDR_SUNKENOUTER = 2;
inline constexpr int BDR_RAISEDINNER = 4;
inline constexpr int BDR_SUNKENINNER = 8;
inline constexpr int EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
inline constexpr int EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
inline constexpr int BF_LEFT = 1;
inline constexpr int BF_TOP = 2;
inline constexpr int BF_RIGHT = 4;
inline constexpr int BF_BOTTOM = 8;
inline constexpr int BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;

// Pixel-exact drawing primitives on a painter with antialiasing off. Lines follow the classic
// rule that the end point is not painted, so frames built from consecutive lines close exactly.
// Each call leaves the painter's state as it found it.
void SetPixel(QPainter& p, int x, int y, OleColor colour);
void DrawLine(QPainter& p, int x1, int y1, int x2, int y2, OleColor colour);
void DrawFrameRect(QPainter& p, int x, int y, int w, int h, OleColor colour);
// Fills x .. x+w-1, y .. y+h-1; nothing when w or h is not positive.
void FillBox(QPainter& p, int x, int y, int w, int h, OleColor colour);
// Raised/sunken inner/outer edges of the rectangle x, y, x+w, y+h, in the palette's light,
// midlight, dark and shadow colours.
void DrawEdgeBox(QPainter& p, const QPalette& palette, int x, int y, int w, int h, int edge,
                 int flags);
// Row i (0 .. steps) is a line from (x1, y+i) to (x2, y+i) in from + i * (to - from) / steps,
// per channel, halves to even. Nothing when steps is negative; steps 0 draws one row in `from`.
void GradientV(QPainter& p, OleColor from, OleColor to, int x1, int y, int x2, int steps);
// The column-wise counterpart: column i is a line from (x+i, y1) to (x+i, y2).
void GradientH(QPainter& p, OleColor from, OleColor to, int x, int y1, int y2, int steps);
void DrawEtchedFrame(QPainter& p, int x, int y, int w, int h, OleColor shadow, OleColor light,
                     OleColor back);

// The colour of step i of `steps` between two colours (the rule of GradientV).
[[nodiscard]] OleColor GradientStep(OleColor from, OleColor to, int i, int steps);

} // namespace orvana::controls
