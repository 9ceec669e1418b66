// MeshStuff: paths, grid meshes, normals, tubes, lathes and grids; sphere mapping and drawing.
//
// Generation is plain 32-bit float computation with no GL; only the last section talks to GL and
// needs the owning part's context current.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// --- Element types

struct TVec {
  float X;
  float Y;
  float Z;
};

// One interleaved vertex, handed to GL as it lies: s, t at byte 0, normal at 8, position at 20.
struct TA2T3N3V {
  float S;
  float T;
  TVec Normal;
  TVec Position;
};
static_assert(sizeof(TA2T3N3V) == 32, "GL reads the vertex array with a stride of 32 bytes");

using TVecArr = std::vector<TVec>;          // paths and face normals
using TWordArr = std::vector<uint16_t>;     // triangle lists, three indices a triangle
using TA2T3N3VArr = std::vector<TA2T3N3V>;  // Rows x Cols vertices, vertex (r, c) at r * Cols + c

// A grid of vertices in rows and columns. A direction that is not wrapped keeps a border of one
// vertex at each end, which only lends its neighbours full normals: no triangles, no normals, no
// texture coordinates.
struct TMesh {
  TA2T3N3VArr Verts;
  int32_t VertCount = 0;
  TWordArr Indices;
  int32_t IndexCount = 0;  // 0: drawn as points
  int32_t Cols = 0;
  int32_t Rows = 0;
  bool WrapU = false;  // each row is a closed ring: column Cols - 1 repeats column 0
  bool WrapV = false;  // closed across rows: row 0 repeats row Rows - 1
};
using PMesh = std::unique_ptr<TMesh>;

// --- Paths

// Count >= 1 points from the origin, each one step of (DeltaX, DeltaY, DeltaZ) after the last.
TVecArr MakeLinePath(int32_t Count, float DeltaX, float DeltaY, float DeltaZ);
// Count >= 2 points on a closed knot around the y axis; the last point repeats the first.
TVecArr MakeKnotPath(int32_t Count, float FreqA, float FreqB, float Scale, float Phase);

// --- Grid building blocks

// Triangle list over the drawn region; Reverse turns every triangle to the other side.
TWordArr MakeGridIndices(int32_t Cols, int32_t Rows, bool WrapU, bool WrapV, bool Reverse);
// One unit normal per quad (zero for a degenerate quad), seams repeated where wrapped.
TVecArr ComputeFaceNormals(const TMesh& Mesh, bool Flip);
// Mean of the four surrounding face normals, not renormalised; closes the wrapped seams.
void ComputeVertexNormals(TMesh& Mesh, bool Flip);
// Positions of a tube around Path (at least Rows + 1 points), one ring a row.
TA2T3N3VArr SweepTube(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
                      float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
                      float ProfilePhase, float Twist);

// --- Meshes (the caller owns the result)

// Closed tube seen from outside; texture coordinates are left zero.
PMesh MakeTube(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
               float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
               float ProfilePhase, float Twist);
// Stack of horizontal rings around Path (at least Rows points); border rings at both ends.
PMesh MakeLathe(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
                float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
                float ProfilePhase, float Twist, bool KeepOrientation);
// Flat CellsA x CellsB grid in the z = 0 plane, centred on the origin, front facing +z; rows run
// along y (CellsA cells over SizeY), columns along x (CellsB cells over SizeX).
PMesh MakeGrid(int32_t CellsA, int32_t CellsB, bool PointsOnly, float SizeX, float SizeY);
// Planar coordinates over the drawn region: s from 0 to URange, t from 0 in steps of VRange / rows.
void SetGridTexCoords(TMesh& Mesh, float URange, float VRange);

// --- GL: the owning part's context must be current

// Reflection coordinates of the drawn region from the current modelview matrix.
void SetSphereMapTexCoords(TMesh& Mesh);
// One draw call: the triangle list, or every vertex as a point sprite when IndexCount is 0.
void DrawMesh(const TMesh& Mesh);
// New repeating, trilinear, self-mipmapping texture, left bound to GL_TEXTURE_2D.
uint32_t CreateTexture();
