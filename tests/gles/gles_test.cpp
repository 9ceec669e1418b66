// Real headless GL: GL ES 1.1 through Mesa's EGL on Linux, opengl32 into bitmaps on Windows; no
// display server. A machine that cannot give a context fails these tests instead of skipping them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "GLTestPlatform.h"
#include "gles/GL.h"
#include "gles/GLESStuff.h"
#include "gles/MeshStuff.h"
#include "image/Image.h"

namespace {

class GLES : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ForgetWindowSystem();
    Egl = std::make_unique<TEGLDisplay>();
    Egl->Init();
  }
  static void TearDownTestSuite() { Egl.reset(); }

  // A part's Enter: own context, viewport, projection, default state.
  void Open(int32_t W, int32_t H) {
    Egl->CreateOffscreenContext(W, H, Ctx);
    ASSERT_TRUE(Ctx.Valid()) << "no GL context: " << Egl->FailureReason();
    ASSERT_TRUE(TEGLDisplay::IsCurrent(Ctx));
    SetUpPartView(W, H);
  }

  // Flat colours in window coordinates: one unit a pixel, origin at the bottom left.
  static void FlatPixelSpace(int32_t W, int32_t H) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(0, float(W), 0, float(H), -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
  }

  // The bound texture on a quad over the whole W x H view (8 x 8 pixel space), read back.
  static TImage DrawTexturedQuad(int32_t W, int32_t H) {
    glEnable(GL_TEXTURE_2D);
    glTranslatef(4, 4, 0);
    PMesh Quad = MakeGrid(1, 1, false, 8.0f, 8.0f);
    SetGridTexCoords(*Quad, 1.0f, 1.0f);
    DrawMesh(*Quad);
    TImage Image(W, H);
    ReadOffscreenImage(Image);
    return Image;
  }

  // The errors of the context each test leaves current (with none, GL has no error to give).
  void TearDown() override {
    if (HasCurrentContext()) {
      EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
    if (Ctx.Valid()) Egl->DestroyOffscreenContext(Ctx);
  }

  TOffscreenContext Ctx;
  static inline std::unique_ptr<TEGLDisplay> Egl;  // one display for the suite
};

void ReadMatrix(GLenum Which, GLfloat M[16]) { glGetFloatv(Which, M); }

TEST_F(GLES, ContextHasTheChosenConfiguration) {
  Open(16, 8);
  EXPECT_TRUE(Egl->FailureReason().empty()) << Egl->FailureReason();
  GLint Bits[6] = {};
  const GLenum Names[6] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_ALPHA_BITS, GL_DEPTH_BITS,
                           GL_STENCIL_BITS};
  const GLint Wanted[6] = {8, 8, 8, 8, 24, 8};
  for (int i = 0; i < 6; ++i) {
    glGetIntegerv(Names[i], &Bits[i]);
    EXPECT_GE(Bits[i], Wanted[i]) << i;
  }
  const char* Version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(Version, nullptr);
  EXPECT_TRUE(IsExpectedVersion(Version)) << Version;
}

TEST_F(GLES, PerspectiveFrustumAndItsProduct) {
  Open(16, 10);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  SetPerspective(60.0f, 1.6f, 0.1f, 100.0f);
  GLfloat M[16];
  ReadMatrix(GL_PROJECTION_MATRIX, M);
  // glFrustumf(l, r, b, t, n, f) with l = -r and b = -t.
  EXPECT_NEAR(0.1f / M[0], 0.092376046f, 2e-8f);
  EXPECT_NEAR(0.1f / M[5], 0.057735030f, 2e-8f);
  EXPECT_NEAR(M[8], 0.0f, 1e-7f);
  EXPECT_NEAR(M[9], 0.0f, 1e-7f);
  EXPECT_NEAR(M[10], -100.1f / 99.9f, 1e-6f);
  EXPECT_EQ(M[11], -1.0f);
  EXPECT_NEAR(M[14], -20.0f / 99.9f, 1e-6f);
  EXPECT_EQ(M[15], 0.0f);

  // The aspect of each part's target.
  struct TCase { int W, H; float Right; };
  for (TCase K : {TCase{161, 101, 0.092033066f}, TCase{160, 100, 0.092376046f},
                  TCase{160, 128, 0.072168790f}, TCase{161, 129, 0.072056897f}}) {
    glLoadIdentity();
    SetPerspective(60.0f, float(K.W) / float(K.H), 0.1f, 100.0f);
    ReadMatrix(GL_PROJECTION_MATRIX, M);
    EXPECT_NEAR(0.1f / M[0], K.Right, 2e-8f) << K.W << "x" << K.H;
  }

  // A second call multiplies onto the first.
  glLoadIdentity();
  SetPerspective(60.0f, 1.6f, 0.1f, 100.0f);
  GLfloat Once[16];
  ReadMatrix(GL_PROJECTION_MATRIX, Once);
  SetPerspective(60.0f, 1.6f, 0.1f, 100.0f);
  ReadMatrix(GL_PROJECTION_MATRIX, M);
  EXPECT_NEAR(M[0], Once[0] * Once[0], 1e-3f);
  EXPECT_NEAR(M[5], Once[5] * Once[5], 1e-3f);
  EXPECT_NEAR(M[15], -Once[14], 1e-6f);
}

TEST_F(GLES, DefaultStateResetsTheSelectedMatrixOnly) {
  Open(16, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(1, 2, 3);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glTranslatef(4, 5, 6);
  SetDefaultGLState();
  GLfloat M[16];
  ReadMatrix(GL_PROJECTION_MATRIX, M);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(M[i], (i % 5 == 0) ? 1.0f : 0.0f) << i;
  ReadMatrix(GL_MODELVIEW_MATRIX, M);
  EXPECT_EQ(M[12], 1.0f);
  EXPECT_EQ(M[13], 2.0f);
  EXPECT_EQ(M[14], 3.0f);
}

TEST_F(GLES, ClearColourArrivesAsRGBABytes) {
  Open(7, 5);
  glClearColor(1.0f, 51.0f / 255.0f, 0.0f, 204.0f / 255.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  TImage Image(7, 5);
  ReadOffscreenImage(Image);
  const uint8_t* Bytes = reinterpret_cast<const uint8_t*>(Image.GetPixels());
  for (int i = 0; i < 7 * 5; ++i) {
    ASSERT_EQ(Bytes[i * 4 + 0], 0xFF) << i;
    ASSERT_EQ(Bytes[i * 4 + 1], 0x33) << i;
    ASSERT_EQ(Bytes[i * 4 + 2], 0x00) << i;
    ASSERT_EQ(Bytes[i * 4 + 3], 0xCC) << i;
  }
  EXPECT_EQ(Image.Pixels[0], 0xCC0033FFu);
}

TEST_F(GLES, BottomWindowRowLandsInImageRowZero) {
  const int W = 8, H = 6;
  Open(W, H);
  FlatPixelSpace(W, H);
  TMesh Dots;
  Dots.Rows = 1;
  Dots.Cols = 2;
  Dots.VertCount = 2;
  Dots.Verts.resize(2);
  Dots.Verts[0].Position = {3.5f, 0.5f, 0.0f};      // bottom window row
  Dots.Verts[1].Position = {6.5f, H - 0.5f, 0.0f};  // top window row
  DrawMesh(Dots);
  EXPECT_FALSE(glIsEnabled(GL_POINT_SPRITE_OES));

  TImage Image(W, H);
  ReadOffscreenImage(Image);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const bool Lit = (y == 0 && x == 3) || (y == H - 1 && x == 6);
      EXPECT_EQ(Image.Pixels[y * W + x], Lit ? 0xFFFFFFFFu : 0u) << x << "," << y;
    }
  }
}

TEST_F(GLES, GridQuadFacesTheViewerAndCoversItsSpan) {
  const int W = 8, H = 8;
  Open(W, H);
  FlatPixelSpace(W, H);
  glTranslatef(4, 4, 0);
  PMesh Quad = MakeGrid(1, 1, false, 4.0f, 4.0f);  // x and y from 2 to 6, culling on
  DrawMesh(*Quad);
  TImage Image(W, H);
  ReadOffscreenImage(Image);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const bool Inside = x >= 2 && x < 6 && y >= 2 && y < 6;
      EXPECT_EQ(Image.Pixels[y * W + x], Inside ? 0xFFFFFFFFu : 0u) << x << "," << y;
    }
  }
}

TEST_F(GLES, TextureGetsItsMipmapsGenerated) {
  const int W = 8, H = 8;
  Open(W, H);
  FlatPixelSpace(W, H);
  const uint32_t Name = CreateTexture();
  EXPECT_NE(Name, 0u);
  GLint Bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &Bound);
  EXPECT_EQ(static_cast<uint32_t>(Bound), Name);
  GLint P = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &P);
  EXPECT_EQ(P, GL_LINEAR_MIPMAP_LINEAR);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &P);
  EXPECT_EQ(P, GL_REPEAT);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, &P);
  EXPECT_EQ(P, GL_TRUE);

  // With a mipmapping filter, a texture lacking its smaller levels would be incomplete and leave
  // the white vertex colour; only generated levels give the texture's green.
  TImage Green(64, 64);
  for (TPixel& Px : Green.Pixels) Px = 0xFF00FF00u;
  UploadTextureImage(Green);
  const TImage Image = DrawTexturedQuad(W, H);
  EXPECT_EQ(Image.Pixels[3 * W + 3], 0xFF00FF00u);
}

// The parts' pictures are made with lit colours above white brightening their textures, as GL ES
// 1.1 renders them; desktop GL clamps them first unless told otherwise.
TEST_F(GLES, LitColoursAboveWhiteBrightenTheTexture) {
  const int W = 8, H = 8;
  Open(W, H);
  FlatPixelSpace(W, H);
  const GLfloat Bright[4] = {2, 2, 2, 1};  // lit at least twice white, whichever way it faces
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, Bright);
  glEnable(GL_LIGHTING);
  CreateTexture();
  TImage Grey(4, 4);
  for (TPixel& Px : Grey.Pixels) Px = 0xFF404040u;
  UploadTextureImage(Grey);
  const TImage Image = DrawTexturedQuad(W, H);
  const TPixel Centre = Image.Pixels[3 * W + 3];
  for (int Shift : {0, 8, 16}) EXPECT_GE((Centre >> Shift) & 0xFFu, 0x80u) << std::hex << Centre;
}

// One vertex of a wrapped one-by-one mesh, so that it lies in the textured region.
struct TSphereCase {
  const char* What;
  TVec Position, Normal;
  float S, T;
};

void RunSphereCase(const TSphereCase& K) {
  TMesh M;
  M.Rows = M.Cols = 1;
  M.VertCount = 1;
  M.WrapU = M.WrapV = true;
  M.Verts.resize(1);
  M.Verts[0].Position = K.Position;
  M.Verts[0].Normal = K.Normal;
  SetSphereMapTexCoords(M);
  EXPECT_NEAR(M.Verts[0].S, K.S, 2e-6f) << K.What;
  EXPECT_NEAR(M.Verts[0].T, K.T, 2e-6f) << K.What;
}

TEST_F(GLES, SphereMapCoordinates) {
  Open(8, 8);
  glLoadIdentity();
  RunSphereCase({"facing the eye", {0, 0, 5}, {0, 0, -1}, 0.5f, 0.5f});
  RunSphereCase({"grazing", {1, 0, 0}, {0, 1, 0}, 1.0f, 0.5f});
  RunSphereCase({"straight back", {0, 5, 0}, {0, 1, 0}, 0.5f, 0.0f});
  RunSphereCase({"at the eye", {0, 0, 0}, {0, 0, 1}, 0.5f, 0.5f});

  // Incidence from the object-space position and the eye-space translation only.
  glTranslatef(0, 0, -5);
  RunSphereCase({"translated", {3, 0, -5}, {0, 1, 0}, 1.0f, 0.5f});

  // The inverse transpose of a scale by 2 halves the normal, and it stays that short.
  glLoadIdentity();
  glScalef(2, 2, 2);
  RunSphereCase({"unnormalised", {0, 5, 0}, {0, 1, 0}, 0.5f, 1.0f});

  // An eighth of a turn about z carries the normal (1, 0, 0) to (c, c, 0), not (c, -c, 0).
  glLoadIdentity();
  glRotatef(45, 0, 0, 1);
  RunSphereCase({"rotated", {0, 5, 0}, {1, 0, 0}, 0.0f, 0.5f});

  // Singular: the normal stays as it is.
  glLoadIdentity();
  glScalef(0, 0, 0);
  RunSphereCase({"singular", {0, 5, 0}, {1, 0, 0}, 0.5f, 1.0f});
}

TEST_F(GLES, SphereMapLeavesOpenBordersAlone) {
  Open(8, 8);
  glLoadIdentity();
  glTranslatef(0, 0, -3);
  PMesh Grid = MakeGrid(2, 2, false, 2.0f, 2.0f);
  for (TA2T3N3V& V : Grid->Verts) {
    V.S = V.T = 7.0f;
    V.Normal = {0, 0, 1};
  }
  SetSphereMapTexCoords(*Grid);
  for (int r = 0; r < Grid->Rows; ++r) {
    for (int c = 0; c < Grid->Cols; ++c) {
      const TA2T3N3V& V = Grid->Verts[r * Grid->Cols + c];
      const bool Border = r == 0 || c == 0 || r == Grid->Rows - 1 || c == Grid->Cols - 1;
      if (Border) {
        EXPECT_EQ(V.S, 7.0f) << r << "," << c;
        EXPECT_EQ(V.T, 7.0f) << r << "," << c;
      } else {
        EXPECT_GE(V.S, 0.0f);
        EXPECT_LE(V.S, 1.0f);
        EXPECT_GE(V.T, 0.0f);
        EXPECT_LE(V.T, 1.0f);
      }
    }
  }
}

TEST_F(GLES, ContextsKeepTheirOwnTargetsAndDestroyReleases) {
  Open(4, 4);
  TOffscreenContext Other;
  Egl->CreateOffscreenContext(6, 2, Other);
  ASSERT_TRUE(Other.Valid()) << Egl->FailureReason();
  EXPECT_TRUE(TEGLDisplay::IsCurrent(Other));
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);

  Egl->MakeContextCurrent(Ctx);
  EXPECT_TRUE(TEGLDisplay::IsCurrent(Ctx));
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);

  Egl->MakeContextCurrent(Other);
  TImage Image(6, 2);
  ReadOffscreenImage(Image);
  for (TPixel P : Image.Pixels) EXPECT_EQ(P, 0xFFFF0000u);

  Egl->DestroyOffscreenContext(Other);
  EXPECT_FALSE(HasCurrentContext());
  // Nothing current: the read-back is black, whatever the image held.
  for (TPixel& P : Image.Pixels) P = 0x12345678u;
  ReadOffscreenImage(Image);
  for (TPixel P : Image.Pixels) EXPECT_EQ(P, 0u);
  Egl->MakeContextCurrent(Ctx);
}

TEST_F(GLES, AFailedContextDrawsNothingAndSaysWhy) {
  Open(4, 4);
  TOffscreenContext Broken;
  Egl->CreateOffscreenContext(-1, 4, Broken);  // a negative size is refused
  EXPECT_TRUE(Broken == TOffscreenContext{});
  EXPECT_NE(Egl->FailureReason().find(TargetCreationCall), std::string::npos)
      << Egl->FailureReason();
  // Its part draws into nothing rather than into another part's target.
  EXPECT_FALSE(HasCurrentContext());
  Egl->MakeContextCurrent(Broken);
  EXPECT_FALSE(HasCurrentContext());
  Egl->DestroyOffscreenContext(Broken);
  Egl->MakeContextCurrent(Ctx);
  EXPECT_TRUE(TEGLDisplay::IsCurrent(Ctx));
}

// Runs in a fresh process whose GL finds no driver at all.
[[noreturn]] void ShowWithoutDriver() {
  HideDriver();
  TEGLDisplay Egl;
  Egl.Init();
  TOffscreenContext Ctx;
  Egl.CreateOffscreenContext(160, 128, Ctx);
  Egl.MakeContextCurrent(Ctx);
  glMatrixMode(GL_PROJECTION);
  SetPerspective(60.0f, 1.25f, 0.1f, 100.0f);
  glMatrixMode(GL_MODELVIEW);
  SetDefaultGLState();
  CreateTexture();
  TVecArr Path = MakeKnotPath(51, 2, 3, 1, 0);
  PMesh Tube = MakeTube(Path, 50, 10, 2, 0.4f, 0, 0, 0.5f, 0, 0);
  SetSphereMapTexCoords(*Tube);
  DrawMesh(*Tube);
  TImage Image(160, 128);
  for (TPixel& P : Image.Pixels) P = 0xFFFFFFFFu;
  ReadOffscreenImage(Image);
  bool Black = true;
  for (TPixel P : Image.Pixels) Black = Black && P == 0;
  Egl.DestroyOffscreenContext(Ctx);
  Egl.Done();
  std::fprintf(stderr, "reason: %s\n", Egl.FailureReason().c_str());
  std::exit(Black && Ctx == TOffscreenContext{} && !Egl.FailureReason().empty() ? 0 : 1);
}

TEST(GLESWithoutDriver, ShowGoesOnInBlack) {
  if (!DriverCanBeHidden) {
    GTEST_SKIP() << "this platform's GL driver cannot be hidden from a running process";
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ShowWithoutDriver(), ::testing::ExitedWithCode(0),
              std::string("reason: ") + NoDriverReason);
}

}  // namespace
