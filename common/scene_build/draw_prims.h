// Small viewport drawing routines shared by the car, the tags and the
// wheel-rig add-on: screen text in a 5 x 8 bitmap font, numbers as filled
// vector digits in a plane of the scene, wire boxes and a filled disc marker.
// They keep no state and depend on the host's drawing interface only.
#pragma once

#include "host_draw.h"

// Glyphs of the bitmap font: digits 0-9, A-Z, then "[", the slash and "]".
inline constexpr LONG kBitmapGlyphCount = 39;
// Pixels a character of the bitmap font advances the text.
inline constexpr LONG kBitmapCharAdvance = 6;

// Draws text in screen pixels, its first character's top-left corner at
// position (z is ignored). Blanks, lower-case letters and other characters
// without a glyph draw nothing. position.x grows by 6 for every character,
// so the caller ends up just past the text.
void DrawBitmapText(const String& text, Vector& position, BaseDraw* bd);

// The vector digits: digit d is the triangles kVectorDigitStart[d] up to
// kVectorDigitStart[d + 1] - 1. Their vertices (u, v) span u from -0.176 to
// 0.176 and v from 0 to 0.611: centred on u = 0, standing on v = 0.
inline constexpr LONG kVectorDigitUMax = 176;  // thousandths
inline constexpr LONG kVectorDigitVMax = 611;
const LONG* VectorDigitStart();  // 11 entries
LONG VectorDigitTriangleCount();
// Vertex indices of triangle i, and vertex k as (u, v, 0). Null or the zero
// vector outside the tables.
const LONG* VectorDigitTriangle(LONG i);
Vector VectorDigitVertex(LONG k);

// Draws the decimal digits of value (its sign is not drawn) as filled
// triangles: the first digit at (x, y) of the plane spanned by m.v1 and m.v3
// around m.off, each further digit advance further along x.
void DrawVectorNumber(LONG value, Real size, Real advance, Real x, Real y, const Matrix& m, BaseDraw* bd,
                      const Vector& colour);
// Triangles firstTriangle .. firstTriangle + triangleCount - 1 of the digit
// table, vertex (u, v) at m.off + (size u + x) m.v1 + (size v + y) m.v3.
// Triangles outside the table are not drawn.
void DrawVectorDigit(LONG firstTriangle, LONG triangleCount, Real size, Real x, Real y, const Matrix& m, BaseDraw* bd,
                     const Vector& colour);

// The 12 edges of a box of full size `size` centred at m.off along m's axes.
void DrawWireBox(const Vector& size, const Matrix& m, BaseDraw* bd, const Vector& colour);

// A filled disc of radius size in the x-z plane of m, centred at m.off:
// twelve triangles.
void DrawFanShape(Real size, const Matrix& m, BaseDraw* bd, const Vector& colour);
