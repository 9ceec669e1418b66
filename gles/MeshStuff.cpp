#include "gles/MeshStuff.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "gles/GL.h"

namespace {

constexpr float Pi = 3.14159265358979f;

TVec Add(const TVec& A, const TVec& B) { return {A.X + B.X, A.Y + B.Y, A.Z + B.Z}; }
TVec Sub(const TVec& A, const TVec& B) { return {A.X - B.X, A.Y - B.Y, A.Z - B.Z}; }
TVec Scale(const TVec& A, float F) { return {A.X * F, A.Y * F, A.Z * F}; }
float Dot(const TVec& A, const TVec& B) { return A.X * B.X + A.Y * B.Y + A.Z * B.Z; }
float Length(const TVec& A) { return std::sqrt(Dot(A, A)); }

TVec Cross(const TVec& A, const TVec& B) {
  return {A.Y * B.Z - A.Z * B.Y, A.Z * B.X - A.X * B.Z, A.X * B.Y - A.Y * B.X};
}

// Degenerate geometry gives a zero vector rather than a division by zero.
TVec Normalized(const TVec& A) {
  float L = Length(A);
  if (L == 0.0f) return {0.0f, 0.0f, 0.0f};
  return {A.X / L, A.Y / L, A.Z / L};
}

// Textured region of a grid: everything along a wrapped direction, else all but the borders.
struct TRegion {
  int32_t FirstRow, LastRow, FirstCol, LastCol;
};

TRegion TexturedRegion(const TMesh& Mesh) {
  return {Mesh.WrapV ? 0 : 1, Mesh.WrapV ? Mesh.Rows - 1 : Mesh.Rows - 2, Mesh.WrapU ? 0 : 1,
          Mesh.WrapU ? Mesh.Cols - 1 : Mesh.Cols - 2};
}

// Ring of vertex row p around Center in the plane of B and C; the profile angle U and the twist
// shape its radius. Column Cols - 1 repeats column 0.
void SweepRing(TA2T3N3VArr& Verts, int32_t p, int32_t Cols, const TVec& Center, const TVec& B,
               const TVec& C, float U, float ProfileFreq, float ProfileAmp, float LobeFreq,
               float LobeDepth, float Radius, float ProfilePhase, float Twist) {
  const float RingStep = 2.0f * Pi / static_cast<float>(Cols - 1);
  const float R = std::sin(ProfileFreq * U + ProfilePhase) * ProfileAmp + Radius;
  float A = static_cast<float>(p) * Twist;
  TA2T3N3V* Row = &Verts[static_cast<size_t>(p) * static_cast<size_t>(Cols)];
  for (int32_t k = 0; k <= Cols - 2; ++k) {
    const float Rho = R + std::cos(LobeFreq * A) * (R * LobeDepth);
    Row[k].Position = Add(Add(Center, Scale(C, std::sin(A) * Rho)), Scale(B, std::cos(A) * Rho));
    A += RingStep;
  }
  Row[Cols - 1] = Row[0];
}

PMesh NewMesh(int32_t Rows, int32_t Cols, bool WrapU, bool WrapV) {
  auto Mesh = std::make_unique<TMesh>();
  Mesh->Rows = Rows;
  Mesh->Cols = Cols;
  Mesh->WrapU = WrapU;
  Mesh->WrapV = WrapV;
  Mesh->VertCount = Rows * Cols;
  return Mesh;
}

}  // namespace

// --- Paths

TVecArr MakeLinePath(int32_t Count, float DeltaX, float DeltaY, float DeltaZ) {
  TVecArr Path(static_cast<size_t>(std::max(Count, 1)));
  for (size_t i = 1; i < Path.size(); ++i) Path[i] = Add(Path[i - 1], {DeltaX, DeltaY, DeltaZ});
  return Path;
}

TVecArr MakeKnotPath(int32_t Count, float FreqA, float FreqB, float Scale, float Phase) {
  Count = std::max(Count, 2);
  TVecArr Path(static_cast<size_t>(Count));
  const float Step = 2.0f * Pi / static_cast<float>(Count - 1);
  float T = 0.0f;
  for (int32_t i = 0; i <= Count - 2; ++i) {
    const float Alpha = FreqA * T + Phase;
    const float Beta = FreqB * T + Phase;
    const float R = (std::sin(Beta) + 2.0f) * Scale;
    Path[static_cast<size_t>(i)] = {std::cos(Alpha) * R, std::cos(Beta) * R, std::sin(Alpha) * R};
    T += Step;
  }
  Path[static_cast<size_t>(Count - 1)] = Path[0];
  return Path;
}

// --- Grid building blocks

TWordArr MakeGridIndices(int32_t Cols, int32_t Rows, bool WrapU, bool WrapV, bool Reverse) {
  // Too small a grid has no drawn quads at all, not a negative count of them.
  const int32_t QuadsPerRow = std::max(WrapU ? Cols - 1 : Cols - 3, 0);
  const int32_t QuadRows = std::max(WrapV ? Rows - 1 : Rows - 3, 0);
  const int32_t RowAdvance = WrapU ? 1 : 3;
  uint16_t B = static_cast<uint16_t>((WrapV ? 0 : Cols) + (WrapU ? 0 : 1));
  const uint16_t C = static_cast<uint16_t>(Cols);
  TWordArr Indices(static_cast<size_t>(QuadRows) * static_cast<size_t>(QuadsPerRow) * 6);
  uint16_t* Out = Indices.data();
  for (int32_t Row = 0; Row < QuadRows; ++Row) {
    for (int32_t Quad = 0; Quad < QuadsPerRow; ++Quad) {
      const uint16_t Below = static_cast<uint16_t>(B + C);
      const uint16_t BelowNext = static_cast<uint16_t>(B + C + 1);
      const uint16_t Next = static_cast<uint16_t>(B + 1);
      if (Reverse) {
        *Out++ = B, *Out++ = BelowNext, *Out++ = Below;
        *Out++ = B, *Out++ = Next, *Out++ = BelowNext;
      } else {
        *Out++ = B, *Out++ = Below, *Out++ = BelowNext;
        *Out++ = B, *Out++ = BelowNext, *Out++ = Next;
      }
      B = Next;
    }
    B = static_cast<uint16_t>(B + RowAdvance);
  }
  return Indices;
}

TVecArr ComputeFaceNormals(const TMesh& Mesh, bool Flip) {
  const int32_t FW = Mesh.WrapU ? Mesh.Cols : Mesh.Cols - 1;
  const int32_t FH = Mesh.WrapV ? Mesh.Rows : Mesh.Rows - 1;
  if (FW <= 0 || FH <= 0) return {};
  TVecArr Faces(static_cast<size_t>(FW) * static_cast<size_t>(FH));
  auto P = [&](int32_t r, int32_t c) -> const TVec& {
    return Mesh.Verts[static_cast<size_t>(r * Mesh.Cols + c)].Position;
  };
  for (int32_t i = 0; i <= Mesh.Rows - 2; ++i) {
    for (int32_t j = 0; j <= Mesh.Cols - 2; ++j) {
      const TVec A = Sub(P(i + 1, j), P(i, j));
      const TVec B = Sub(P(i, j + 1), P(i, j));
      TVec N = Normalized(Cross(A, B));
      if (Flip) N = Scale(N, -1.0f);
      Faces[static_cast<size_t>(i * FW + j)] = N;
    }
  }
  if (Mesh.WrapU) {
    for (int32_t i = 0; i < FH; ++i) {
      Faces[static_cast<size_t>(i * FW + FW - 1)] = Faces[static_cast<size_t>(i * FW)];
    }
  }
  if (Mesh.WrapV) {
    std::copy_n(Faces.begin(), FW, Faces.begin() + static_cast<ptrdiff_t>((FH - 1) * FW));
  }
  return Faces;
}

void ComputeVertexNormals(TMesh& Mesh, bool Flip) {
  const TVecArr Faces = ComputeFaceNormals(Mesh, Flip);
  if (Faces.empty()) return;
  const int32_t FW = Mesh.WrapU ? Mesh.Cols : Mesh.Cols - 1;
  const int32_t FH = Mesh.WrapV ? Mesh.Rows : Mesh.Rows - 1;
  auto F = [&](int32_t r, int32_t c) -> const TVec& { return Faces[static_cast<size_t>(r * FW + c)]; };
  auto V = [&](int32_t r, int32_t c) -> TA2T3N3V& {
    return Mesh.Verts[static_cast<size_t>(r * Mesh.Cols + c)];
  };
  for (int32_t r = 1; r <= FH - 1; ++r) {
    for (int32_t c = 1; c <= FW - 1; ++c) {
      const TVec Sum = Add(Add(Add(F(r - 1, c - 1), F(r - 1, c)), F(r, c - 1)), F(r, c));
      V(r, c).Normal = Scale(Sum, 0.25f);
    }
  }
  if (Mesh.WrapU) {
    for (int32_t r = 0; r < Mesh.Rows; ++r) V(r, 0).Normal = V(r, Mesh.Cols - 1).Normal;
  }
  if (Mesh.WrapV) {
    std::copy_n(&V(Mesh.Rows - 1, 0), Mesh.Cols, &V(0, 0));
  }
}

TA2T3N3VArr SweepTube(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
                      float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
                      float ProfilePhase, float Twist) {
  TA2T3N3VArr Verts(static_cast<size_t>(Rows) * static_cast<size_t>(Cols));
  const float UStep = 2.0f * Pi / static_cast<float>(Rows - 1);
  float U = 0.0f;
  for (int32_t p = 0; p <= Rows - 1; ++p) {
    const TVec& P0 = Path[static_cast<size_t>(p)];
    const TVec& P1 = Path[static_cast<size_t>(p) + 1];
    U += UStep;
    const TVec D = Sub(P1, P0);
    const TVec S = Add(P0, P1);
    const TVec B = Normalized(Cross(D, S));
    const TVec C = Normalized(Cross(B, D));
    SweepRing(Verts, p, Cols, P0, B, C, U, ProfileFreq, ProfileAmp, LobeFreq, LobeDepth, Radius,
              ProfilePhase, Twist);
  }
  return Verts;
}

// --- Meshes

PMesh MakeTube(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
               float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
               float ProfilePhase, float Twist) {
  PMesh Mesh = NewMesh(Rows, Cols, true, true);
  Mesh->IndexCount = (Rows - 1) * (Cols - 1) * 6;
  Mesh->Indices = MakeGridIndices(Cols, Rows, true, true, false);
  Mesh->Verts = SweepTube(Path, Rows, Cols, ProfileFreq, ProfileAmp, LobeFreq, LobeDepth, Radius,
                          ProfilePhase, Twist);
  ComputeVertexNormals(*Mesh, false);
  return Mesh;
}

PMesh MakeLathe(const TVecArr& Path, int32_t Rows, int32_t Cols, float ProfileFreq,
                float ProfileAmp, float LobeFreq, float LobeDepth, float Radius,
                float ProfilePhase, float Twist, bool KeepOrientation) {
  PMesh Mesh = NewMesh(Rows, Cols, true, false);
  Mesh->IndexCount = std::max(Rows - 3, 0) * (Cols - 1) * 6;
  Mesh->Indices = MakeGridIndices(Cols, Rows, true, false, !KeepOrientation);
  Mesh->Verts.resize(static_cast<size_t>(Rows) * static_cast<size_t>(Cols));
  // Rings stay horizontal whatever the path does.
  const TVec B{1.0f, 0.0f, 0.0f};
  const TVec C{0.0f, 0.0f, 1.0f};
  const float UStep = 2.0f * Pi / static_cast<float>(Rows - 1);
  float U = 0.0f;
  for (int32_t p = 0; p <= Rows - 1; ++p) {
    U += UStep;
    SweepRing(Mesh->Verts, p, Cols, Path[static_cast<size_t>(p)], B, C, U, ProfileFreq, ProfileAmp,
              LobeFreq, LobeDepth, Radius, ProfilePhase, Twist);
  }
  ComputeVertexNormals(*Mesh, !KeepOrientation);
  return Mesh;
}

PMesh MakeGrid(int32_t CellsA, int32_t CellsB, bool PointsOnly, float SizeX, float SizeY) {
  PMesh Mesh = NewMesh(CellsA + 3, CellsB + 3, false, false);
  Mesh->Verts.resize(static_cast<size_t>(Mesh->VertCount));
  const float HalfA = static_cast<float>(CellsA + 2) / 2.0f;
  const float HalfB = static_cast<float>(CellsB + 2) / 2.0f;
  for (int32_t r = 0; r < Mesh->Rows; ++r) {
    const float Y = (static_cast<float>(r) - HalfA) * SizeY / static_cast<float>(CellsA);
    for (int32_t c = 0; c < Mesh->Cols; ++c) {
      const float X = (static_cast<float>(c) - HalfB) * SizeX / static_cast<float>(CellsB);
      Mesh->Verts[static_cast<size_t>(r * Mesh->Cols + c)].Position = {X, Y, 0.0f};
    }
  }
  if (!PointsOnly) {
    Mesh->IndexCount = CellsA * CellsB * 6;
    Mesh->Indices = MakeGridIndices(Mesh->Cols, Mesh->Rows, false, false, true);
  }
  return Mesh;
}

void SetGridTexCoords(TMesh& Mesh, float URange, float VRange) {
  const TRegion Reg = TexturedRegion(Mesh);
  const int32_t NC = Reg.LastCol - Reg.FirstCol + 1;
  const int32_t NR = Reg.LastRow - Reg.FirstRow + 1;
  if (NC <= 0 || NR <= 0) return;
  // A single textured column sits at s = 0 instead of dividing by zero.
  const float SStep = NC > 1 ? URange / static_cast<float>(NC - 1) : 0.0f;
  const float TStep = VRange / static_cast<float>(NR);
  for (int32_t m = 0; m < NR; ++m) {
    TA2T3N3V* Row = &Mesh.Verts[static_cast<size_t>((Reg.FirstRow + m) * Mesh.Cols)];
    for (int32_t k = 0; k < NC; ++k) {
      Row[Reg.FirstCol + k].S = static_cast<float>(k) * SStep;
      Row[Reg.FirstCol + k].T = static_cast<float>(m) * TStep;
    }
  }
}

// --- GL

void SetSphereMapTexCoords(TMesh& Mesh) {
  // Identity until GL answers, so a missing context leaves a defined matrix.
  GLfloat M[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  glGetFloatv(GL_MODELVIEW_MATRIX, M);
  auto A = [&](int i, int j) { return M[j * 4 + i]; };

  // Cofactor (i, j): signed determinant of A without row i and column j.
  auto Cofactor = [&](int i, int j) {
    int R[3], C[3];
    for (int k = 0, n = 0; k < 4; ++k) if (k != i) R[n++] = k;
    for (int k = 0, n = 0; k < 4; ++k) if (k != j) C[n++] = k;
    const float Minor = A(R[0], C[0]) * (A(R[1], C[1]) * A(R[2], C[2]) - A(R[1], C[2]) * A(R[2], C[1])) -
                        A(R[0], C[1]) * (A(R[1], C[0]) * A(R[2], C[2]) - A(R[1], C[2]) * A(R[2], C[0])) +
                        A(R[0], C[2]) * (A(R[1], C[0]) * A(R[2], C[1]) - A(R[1], C[1]) * A(R[2], C[0]));
    return ((i + j) & 1) ? -Minor : Minor;
  };

  float Inv[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  float Cof[4][4];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) Cof[i][j] = Cofactor(i, j);
  const float Det = A(0, 0) * Cof[0][0] + A(0, 1) * Cof[0][1] + A(0, 2) * Cof[0][2] +
                    A(0, 3) * Cof[0][3];
  if (std::fabs(Det) >= 1.4012985e-45f) {
    const float InvDet = 1.0f / Det;
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) Inv[i][j] = Cof[j][i] * InvDet;
  }

  // The incidence vector deliberately mixes object-space positions with the eye-space translation.
  const TVec Eye{M[12], M[13], M[14]};
  const TRegion Reg = TexturedRegion(Mesh);
  for (int32_t r = Reg.FirstRow; r <= Reg.LastRow; ++r) {
    for (int32_t c = Reg.FirstCol; c <= Reg.LastCol; ++c) {
      TA2T3N3V& V = Mesh.Verts[static_cast<size_t>(r * Mesh.Cols + c)];
      const TVec I = Normalized(Sub(V.Position, Eye));
      const TVec& n = V.Normal;
      TVec N;
      float* NOut[3] = {&N.X, &N.Y, &N.Z};
      for (int j = 0; j < 3; ++j) {
        *NOut[j] = n.X * Inv[0][j] + n.Y * Inv[1][j] + n.Z * Inv[2][j] + Inv[3][j];
      }
      const TVec R = Sub(I, Scale(N, 2.0f * Dot(I, N)));
      const float K = 2.0f * Length(R);
      if (K == 0.0f) {
        // No reflection direction: the texture centre.
        V.S = 0.5f;
        V.T = 0.5f;
      } else {
        V.S = R.X / K + 0.5f;
        V.T = R.Y / K + 0.5f;
      }
    }
  }
}

void DrawMesh(const TMesh& Mesh) {
  if (Mesh.Verts.empty()) return;
  const TA2T3N3V* First = Mesh.Verts.data();
  const GLsizei Stride = sizeof(TA2T3N3V);
  // The three client arrays stay enabled for good; pointing all of them at this mesh keeps every
  // fetch inside its vertices, also for points.
  glTexCoordPointer(2, GL_FLOAT, Stride, &First->S);
  glNormalPointer(GL_FLOAT, Stride, &First->Normal);
  glVertexPointer(3, GL_FLOAT, Stride, &First->Position);
  if (Mesh.IndexCount != 0) {
    const size_t Count = std::min(static_cast<size_t>(std::max(Mesh.IndexCount, 0)), Mesh.Indices.size());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(Count), GL_UNSIGNED_SHORT, Mesh.Indices.data());
  } else {
    const size_t Count = std::min(static_cast<size_t>(std::max(Mesh.VertCount, 0)), Mesh.Verts.size());
    glEnable(GL_POINT_SPRITE_OES);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(Count));
    glDisable(GL_POINT_SPRITE_OES);
  }
}

uint32_t CreateTexture() {
  GLuint Name = 0;
  glGenTextures(1, &Name);
  glBindTexture(GL_TEXTURE_2D, Name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
  glTexParameterf(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1.0f);
  return Name;
}
