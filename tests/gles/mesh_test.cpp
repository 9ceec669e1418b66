// Mesh generation without GL: paths, index lists, normals, tubes, lathes, grids, texture ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gles/MeshStuff.h"

namespace {

constexpr float TwoPi = 2.0f * 3.14159265358979f;

TVec Sub(const TVec& A, const TVec& B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
float Dot(const TVec& A, const TVec& B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
float Length(const TVec& A) { return std::sqrt(Dot(A, A)); }
TVec Cross(const TVec& A, const TVec& B) {
  return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}

const TA2T3N3V& At(const TMesh& M, int r, int c) { return M.Verts[r * M.Cols + c]; }

void ExpectVec(const TVec& V, float X, float Y, float Z, float Tol = 1e-6f) {
  EXPECT_NEAR(V.X, X, Tol);
  EXPECT_NEAR(V.Y, Y, Tol);
  EXPECT_NEAR(V.Z, Z, Tol);
}

void ExpectSameVertex(const TA2T3N3V& A, const TA2T3N3V& B) {
  EXPECT_EQ(A.Position.X, B.Position.X);
  EXPECT_EQ(A.Position.Y, B.Position.Y);
  EXPECT_EQ(A.Position.Z, B.Position.Z);
  EXPECT_EQ(A.Normal.X, B.Normal.X);
  EXPECT_EQ(A.Normal.Y, B.Normal.Y);
  EXPECT_EQ(A.Normal.Z, B.Normal.Z);
}

TEST(MeshPaths, LinePathStepsFromTheOrigin) {
  TVecArr Path = MakeLinePath(3, 1.0f, 2.0f, 3.0f);
  ASSERT_EQ(Path.size(), 3u);
  ExpectVec(Path[0], 0, 0, 0, 0);
  ExpectVec(Path[1], 1, 2, 3, 0);
  ExpectVec(Path[2], 2, 4, 6, 0);
  EXPECT_EQ(MakeLinePath(1, 5, 5, 5).size(), 1u);
}

TEST(MeshPaths, KnotOfTwoPointsRepeatsItsStart) {
  const float Phase = 0.7f, Scale = 1.5f;
  TVecArr Path = MakeKnotPath(2, 2.0f, 3.0f, Scale, Phase);
  ASSERT_EQ(Path.size(), 2u);
  const float R = (std::sin(Phase) + 2.0f) * Scale;
  for (const TVec& P : Path) ExpectVec(P, std::cos(Phase) * R, std::cos(Phase) * R, std::sin(Phase) * R);
}

TEST(MeshPaths, KnotWindsAroundTheYAxisAndCloses) {
  const int Count = 51;
  TVecArr Path = MakeKnotPath(Count, 2.0f, 3.0f, 1.0f, 0.0f);
  ASSERT_EQ(Path.size(), 51u);
  EXPECT_EQ(Path.back().X, Path.front().X);
  EXPECT_EQ(Path.back().Y, Path.front().Y);
  EXPECT_EQ(Path.back().Z, Path.front().Z);
  for (int i = 0; i < Count - 1; ++i) {
    const float T = static_cast<float>(i) * TwoPi / 50.0f;
    const float R = std::sin(3.0f * T) + 2.0f;
    EXPECT_NEAR(std::hypot(Path[i].X, Path[i].Z), R, 1e-4f) << i;
    EXPECT_NEAR(Path[i].Y, std::cos(3.0f * T) * R, 1e-4f) << i;
    EXPECT_NEAR(std::atan2(Path[i].Z, Path[i].X), std::atan2(std::sin(2 * T), std::cos(2 * T)), 1e-4f)
        << i;
  }
}

TEST(MeshIndices, ListsOverTheDrawnRegion) {
  EXPECT_EQ(MakeGridIndices(4, 4, false, false, true), (TWordArr{5, 10, 9, 5, 6, 10}));

  TWordArr Wrapped = MakeGridIndices(3, 3, true, true, false);
  ASSERT_EQ(Wrapped.size(), 24u);
  EXPECT_EQ(TWordArr(Wrapped.begin(), Wrapped.begin() + 6), (TWordArr{0, 3, 4, 0, 4, 1}));
  EXPECT_EQ(TWordArr(Wrapped.end() - 6, Wrapped.end()), (TWordArr{4, 7, 8, 4, 8, 5}));

  // Wrapped around, open along: the border rows get no triangles.
  EXPECT_EQ(MakeGridIndices(3, 4, true, false, false),
            (TWordArr{3, 6, 7, 3, 7, 4, 4, 7, 8, 4, 8, 5}));

  // Open both ways: each quad row starts past the right border and the next left border.
  TWordArr Open = MakeGridIndices(5, 5, false, false, false);
  ASSERT_EQ(Open.size(), 24u);
  std::vector<int> Corners;
  for (size_t q = 0; q < Open.size(); q += 6) Corners.push_back(Open[q]);
  EXPECT_EQ(Corners, (std::vector<int>{6, 7, 11, 12}));

  EXPECT_TRUE(MakeGridIndices(2, 2, false, false, false).empty());
}

TEST(MeshNormals, FaceNormalsFollowTheCrossProductAndFlip) {
  PMesh Grid = MakeGrid(2, 2, true, 2.0f, 2.0f);
  TVecArr Faces = ComputeFaceNormals(*Grid, false);
  ASSERT_EQ(Faces.size(), 16u);  // (Cols - 1) x (Rows - 1)
  for (const TVec& F : Faces) ExpectVec(F, 0, 0, -1);
  for (const TVec& F : ComputeFaceNormals(*Grid, true)) ExpectVec(F, 0, 0, 1);

  TMesh Flat;
  Flat.Rows = Flat.Cols = 3;
  Flat.VertCount = 9;
  Flat.Verts.resize(9);  // all at the origin: degenerate quads
  for (const TVec& F : ComputeFaceNormals(Flat, false)) ExpectVec(F, 0, 0, 0, 0);
}

TEST(MeshNormals, VertexNormalIsTheUnnormalisedMeanOfItsFaces) {
  // A ridge along y through column 1: the two slopes' normals cancel in x.
  TMesh Roof;
  Roof.Rows = Roof.Cols = 3;
  Roof.VertCount = 9;
  Roof.Verts.resize(9);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      Roof.Verts[r * 3 + c].Position = {float(c), float(r), c == 1 ? 1.0f : 0.0f};
  ComputeVertexNormals(Roof, false);
  ExpectVec(At(Roof, 1, 1).Normal, 0, 0, -std::sqrt(0.5f));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (r != 1 || c != 1) ExpectVec(At(Roof, r, c).Normal, 0, 0, 0, 0);
}

TEST(MeshTube, SeamsCloseAndTheSurfaceFacesOutwards) {
  const int Rows = 50, Cols = 10;
  TVecArr Path = MakeKnotPath(Rows + 1, 2.0f, 3.0f, 1.0f, 0.0f);
  const float Phase = 1.3f;
  PMesh Tube = MakeTube(Path, Rows, Cols, 2.0f, 0.4f, 0.0f, 0.0f, 0.5f, Phase, 0.0f);
  EXPECT_EQ(Tube->VertCount, 500);
  EXPECT_EQ(Tube->IndexCount, 2646);
  EXPECT_EQ(Tube->Indices.size(), 2646u);
  EXPECT_TRUE(Tube->WrapU && Tube->WrapV);

  for (int c = 0; c < Cols; ++c) ExpectSameVertex(At(*Tube, 0, c), At(*Tube, Rows - 1, c));
  for (int r = 0; r < Rows; ++r) ExpectSameVertex(At(*Tube, r, Cols - 1), At(*Tube, r, 0));

  for (int r = 1; r < Rows; ++r) {
    // The profile ripples the radius of ring r with u = (r + 1) of 49 steps around.
    const float U = float(r + 1) * TwoPi / float(Rows - 1);
    const float Radius = std::sin(2.0f * U + Phase) * 0.4f + 0.5f;
    for (int c = 0; c < Cols; ++c) {
      const TA2T3N3V& V = At(*Tube, r, c);
      const TVec Out = Sub(V.Position, Path[r]);
      EXPECT_NEAR(Length(Out), Radius, 1e-4f) << r << "," << c;
      EXPECT_GT(Dot(V.Normal, Out), 0.0f) << r << "," << c;
      EXPECT_EQ(V.S, 0.0f);
      EXPECT_EQ(V.T, 0.0f);
    }
  }
  // Front faces (counter-clockwise) agree with the normals, past the closing quad row.
  for (size_t i = static_cast<size_t>(Cols - 1) * 6; i < Tube->Indices.size(); i += 3) {
    const TVec& A = Tube->Verts[Tube->Indices[i]].Position;
    const TVec& B = Tube->Verts[Tube->Indices[i + 1]].Position;
    const TVec& C = Tube->Verts[Tube->Indices[i + 2]].Position;
    EXPECT_GT(Dot(Cross(Sub(B, A), Sub(C, A)), Tube->Verts[Tube->Indices[i]].Normal), 0.0f) << i;
  }
}

TEST(MeshLathe, ShaftSeenFromInsideWithBordersLeftAlone) {
  const int Rows = 40, Cols = 20;
  for (bool Keep : {true, false}) {
    SCOPED_TRACE(Keep);
    TVecArr Path = MakeLinePath(41, 0.0f, -10.0f, 0.0f);
    PMesh Shaft = MakeLathe(Path, Rows, Cols, 6.0f, 1.5f, 3.0f, 0.0f, 7.0f, 0.0f, 0.0f, Keep);
    SetGridTexCoords(*Shaft, 2.0f, 12.0f);
    EXPECT_EQ(Shaft->IndexCount, 37 * 19 * 6);
    ASSERT_EQ(Shaft->Indices.size(), 37u * 19u * 6u);
    for (uint16_t I : Shaft->Indices) {
      EXPECT_GE(I, Cols);
      EXPECT_LT(I, (Rows - 1) * Cols);
    }
    for (int Border : {0, Rows - 1}) {
      for (int c = 0; c < Cols; ++c) {
        const TA2T3N3V& V = At(*Shaft, Border, c);
        ExpectVec(V.Normal, 0, 0, 0, 0);
        EXPECT_EQ(V.S, 0.0f);
        EXPECT_EQ(V.T, 0.0f);
      }
    }
    for (int r = 1; r < Rows - 1; ++r) {
      ExpectSameVertex(At(*Shaft, r, Cols - 1), At(*Shaft, r, 0));
      for (int c = 0; c < Cols; ++c) {
        const TA2T3N3V& V = At(*Shaft, r, c);
        EXPECT_FLOAT_EQ(V.Position.Y, -10.0f * r);
        const TVec Out{V.Position.X, 0.0f, V.Position.Z};
        if (Keep) {
          EXPECT_LT(Dot(V.Normal, Out), 0.0f) << r << "," << c;
        } else {
          EXPECT_GT(Dot(V.Normal, Out), 0.0f) << r << "," << c;
        }
      }
    }
    // Triangles face the same side as the normals.
    for (size_t i = 0; i < Shaft->Indices.size(); i += 3) {
      const TA2T3N3V& A = Shaft->Verts[Shaft->Indices[i]];
      const TVec& B = Shaft->Verts[Shaft->Indices[i + 1]].Position;
      const TVec& C = Shaft->Verts[Shaft->Indices[i + 2]].Position;
      EXPECT_GT(Dot(Cross(Sub(B, A.Position), Sub(C, A.Position)), A.Normal), 0.0f) << i;
    }
  }
}

TEST(MeshLathe, TexCoordsOfTheShaft) {
  TVecArr Path = MakeLinePath(41, 0.0f, -10.0f, 0.0f);
  PMesh Shaft = MakeLathe(Path, 40, 20, 6.0f, 1.5f, 3.0f, 0.0f, 7.0f, 0.0f, 0.0f, true);
  SetGridTexCoords(*Shaft, 2.0f, 12.0f);
  EXPECT_EQ(At(*Shaft, 1, 0).S, 0.0f);
  EXPECT_EQ(At(*Shaft, 1, 0).T, 0.0f);
  EXPECT_NEAR(At(*Shaft, 1, 19).S, 2.0f, 1e-6f);
  EXPECT_NEAR(At(*Shaft, 2, 0).T, 0.31578946f, 1e-7f);
  EXPECT_NEAR(At(*Shaft, 38, 7).T, 11.68421f, 1e-5f);
  EXPECT_NEAR(At(*Shaft, 38, 7).S, 7.0f * 2.0f / 19.0f, 1e-6f);
}

TEST(MeshGrid, OneCellQuadWithAndWithoutTriangles) {
  PMesh Quad = MakeGrid(1, 1, false, 1.0f, 1.0f);
  ASSERT_EQ(Quad->Rows, 4);
  ASSERT_EQ(Quad->Cols, 4);
  ASSERT_EQ(Quad->VertCount, 16);
  EXPECT_EQ(Quad->IndexCount, 6);
  EXPECT_EQ(Quad->Indices, (TWordArr{5, 10, 9, 5, 6, 10}));
  ExpectVec(At(*Quad, 1, 1).Position, -0.5f, -0.5f, 0);
  ExpectVec(At(*Quad, 2, 2).Position, 0.5f, 0.5f, 0);
  ExpectVec(At(*Quad, 0, 0).Position, -1.5f, -1.5f, 0);
  ExpectVec(At(*Quad, 3, 0).Position, -1.5f, 1.5f, 0);
  // Counter-clockwise seen from +z.
  for (size_t i = 0; i < 6; i += 3) {
    const TVec& A = Quad->Verts[Quad->Indices[i]].Position;
    const TVec& B = Quad->Verts[Quad->Indices[i + 1]].Position;
    const TVec& C = Quad->Verts[Quad->Indices[i + 2]].Position;
    EXPECT_GT(Cross(Sub(B, A), Sub(C, A)).Z, 0.0f);
  }

  SetGridTexCoords(*Quad, 1.0f, 1.0f);
  struct TCase { int R, C; float S, T; };
  // The last three are borders, which keep their zero coordinates.
  for (TCase K : {TCase{1, 1, 0, 0}, TCase{1, 2, 1, 0}, TCase{2, 1, 0, 0.5f}, TCase{2, 2, 1, 0.5f},
                  TCase{0, 0, 0, 0}, TCase{3, 2, 0, 0}, TCase{2, 3, 0, 0}}) {
    EXPECT_EQ(At(*Quad, K.R, K.C).S, K.S) << K.R << "," << K.C;
    EXPECT_EQ(At(*Quad, K.R, K.C).T, K.T) << K.R << "," << K.C;
  }

  PMesh Points = MakeGrid(1, 1, true, 1.0f, 1.0f);
  EXPECT_EQ(Points->IndexCount, 0);
  EXPECT_TRUE(Points->Indices.empty());
  EXPECT_EQ(Points->VertCount, 16);
  ExpectVec(At(*Points, 2, 2).Position, 0.5f, 0.5f, 0);
}

TEST(MeshGrid, UnequalCountsSpanTheirSizes) {
  PMesh Grid = MakeGrid(2, 4, false, 8.0f, 3.0f);  // 2 cell rows along y, 4 cell columns along x
  ASSERT_EQ(Grid->Rows, 5);
  ASSERT_EQ(Grid->Cols, 7);
  EXPECT_EQ(Grid->IndexCount, 2 * 4 * 6);
  EXPECT_EQ(Grid->Indices.size(), 48u);
  ExpectVec(At(*Grid, 1, 1).Position, -4.0f, -1.5f, 0);
  ExpectVec(At(*Grid, 3, 5).Position, 4.0f, 1.5f, 0);
}

}  // namespace
