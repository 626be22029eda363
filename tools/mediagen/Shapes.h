// The scene's meshes, built in world units (pot radius 85 around z, floor at 0, water at 70).
#pragma once

#include "tools/mediagen/MeshBuilder.h"

namespace mediagen {

// Metal cooking pot: inner wall radius 85, inside floor at z = 0, rolled rim at about
// z = 110, 3.5 units of wall, two loop handles on the y axis; one texture wrap around it.
MeshBuilder BuildPot();

// Water surface: a disc of the given radius at the given height, normals up. Its vertices
// are the points of the square grid (origin + k * pitch in x and y, k >= 0, up to -origin)
// inside the disc, row by row, then a ring of rimVertices on the circle; a band of
// triangles joins the grid's staircase edge to the ring.
MeshBuilder BuildWater(double radius, double height, double origin, double pitch,
                       int rimVertices);

}  // namespace mediagen
