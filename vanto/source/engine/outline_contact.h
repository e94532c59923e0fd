// Where outlines seen from above meet: points of one outline inside another
// outline, a box or an upright cylinder, the normals that push them apart,
// and the outline pressed in where it was hit. Scene order (x to the side,
// y up, z forward) and scene units; only x and z count unless noted.
#pragma once

#include "engine/axis_frame.h"
#include "engine/collision_outline.h"
#include "engine/vmath.h"

// Indices (ascending) of the points of P[0..m-1] that lie inside the closed
// outline Q[0..q-1], and their mean. list needs m + 1 entries: when any
// point is inside, the first index is repeated after the last.
int32 PointsInsideOutline(const Vec3* P, int32 m, const Vec3* Q, int32 q, int32* list, Vec3& mean);
// 1 when a corner of either rectangle lies inside the other.
int32 FootprintsOverlap(const Vec3 a[4], const Vec3 b[4]);
// 1 when an edge of one rectangle crosses an edge of the other: the case of
// a long footprint laid across a narrower one, no corner inside.
int32 FootprintEdgesCross(const Vec3 a[4], const Vec3 b[4]);
// The cheap reject of the collision tests: the footprints share any area,
// by a corner inside or by crossing edges. The footprint is the body before
// it was pressed in, so a car crumpled against a wall thinner than its
// crumple travel carries its footprint clean across it while the pressed-in
// outline is still in contact; a corner test alone would then let go of the
// car and it would drive through.
int32 FootprintsMeet(const Vec3 a[4], const Vec3 b[4]);
// Mean of the listed points (all three components); zero for a count
// below 1.
Vec3 OutlineCentroid(Vec3& mean, const Vec3* points, const int32* list, int32 count);
// Outward vertex normals of the closed outline in buffer[0..n-1] (across
// each edge about the body's up axis) into buffer[n..2n-1]; with a list,
// only over the listed run where that is enough.
void OutlineVertexNormals(Vec3* buffer, const Vec3& up, int32 n, const int32* list, int32 k);
// Outline points (normals behind them in buffer[n..2n-1]) inside the box of
// the 8 corners whose axes are those of box; normal: the normalised sum of
// the outward axes of the faces they entered through.
int32 FindObstacleEntryFace(const Vec3* buffer, int32 n, const Vec3 corners[8], const AxisFrame& box, int32* list,
                            Vec3& mean, Vec3& normal);
// Outline points inside the upright cylinder of the radius round centre;
// normal: the normalised sum of their outward directions.
int32 PointsInsideCylinder(const Vec3* buffer, int32 n, double radius, const Vec3& centre, int32* list, Vec3& mean,
                           Vec3& normal);
// The outward normal of the obstacle edges that the listed car points W
// crossed on their way in (traced back along ray); zero when none.
Vec3 CrossedEdgeNormal(const Vec3* Q, int32 q, const Vec3* W, const int32* list, int32 k, const Vec3& ray);
// Moves the listed outline points (ascending) by push (car coordinates, x
// and z only); up to three neighbours on each side follow by 3/4, 1/2, 1/4.
void PressOutlineIn(CollisionOutline& outline, const int32* list, int32 k, const Vec3& push);
// A wheel's outer corner P (car coordinates) that the outline no longer
// covers: the move along the car's length axis (world) that brings it back
// onto the outline, found where the line from the corner to the car's
// centre line crosses it. False, and move untouched, when the outline still
// covers it or the line crosses none of its edges.
bool WheelCornerOntoOutline(const CollisionOutline& outline, const Vec3& P, const Vec3& axis, Vec3& move);
