#pragma once

// The models the program ships, built in memory: a cube, a box, a cylinder,
// a sphere, a plane and the Bezier teapot. The mesh writer tool writes them
// as mesh files into data/media/Meshes; tests and benchmarks build them
// directly.
//
// Every model is centred on the origin with y up and fits roughly in
// -1.2 .. 1.2. Its vertices carry a position, a normal (pointing outward)
// and a texture coordinate (u to the right and v downwards as the face is
// seen from outside, so a photo on it is not mirrored). Faces wind
// counter-clockwise as seen from outside (render/rasteriser.h). Each
// triangle's first attribute is its hole, and the mesh attributes hold, for
// each hole, the planar projection that maps the hole's points onto a photo
// like its texture coordinates do (render/mesh_file.h).

#include <span>

#include "render/mesh_file.h"

namespace grinsnap::meshes {

// Holes: front 0, right 1, back 2, left 3, top 4, bottom 5.
MeshData Cube();
// A photo block 2 x 1.5 x 0.5, holes as the cube's.
MeshData Box();
// Radius 1, height 2; holes: side 0, top 1, bottom 2.
MeshData Cylinder(int segments = 48);
// Radius 1, the photo wrapped around it with its centre at the front; one hole.
MeshData Sphere(int slices = 48, int stacks = 24);
// A 2 x 1.5 rectangle facing the camera (-z); one hole.
MeshData Plane(int columns = 16, int rows = 12);
// Martin Newell's teapot, each of its 32 Bezier patches cut into
// segments x segments quads; holes: body 0, lid 1, handle 2, spout 3.
MeshData Teapot(int segments = 8);

struct ShippedShape {
  const char* file;  // its name in data/media/Meshes
  MeshData (*make)();
};

// The shapes the program ships, with their default resolutions.
std::span<const ShippedShape> ShippedShapes();

}  // namespace grinsnap::meshes
