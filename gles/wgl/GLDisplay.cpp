// GL contexts through WGL: each context draws into its own 32-bit DIB section selected into a
// memory device context (PFD_DRAW_TO_BITMAP). No window is needed, so contexts may be made on any
// thread and outlive it, and under Wine this runs with no display server (Wine renders bitmaps
// with the host's OSMesa).
#include "gles/GLESStuff.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string WithLastError(const std::string& What) {
  char Text[32];
  std::snprintf(Text, sizeof Text, " (error %lu)", static_cast<unsigned long>(GetLastError()));
  return What + Text;
}

// Desktop GL clamps lit vertex colours to [0, 1] before texturing; GL ES 1.1 as Mesa renders it
// on Linux does not, and the parts' pictures are made with that. GL 3.0 can turn clamping off;
// an older GL keeps it, and lit highlights come out a little duller.
void KeepVertexColoursUnclamped() {
  auto ClampColor =
      reinterpret_cast<PFNGLCLAMPCOLORPROC>(reinterpret_cast<void*>(wglGetProcAddress("glClampColor")));
  if (ClampColor) ClampColor(GL_CLAMP_VERTEX_COLOR, GL_FALSE);
}

}  // namespace

// Mesa's opengl32.dll, which some Windows machines use in place of a driver's, reads it too.
void PreferInlineRenderer() {
  if (!std::getenv("LP_NUM_THREADS")) _putenv("LP_NUM_THREADS=0");
}

// --- Start-up and shut-down

TEGLDisplay::~TEGLDisplay() { Done(); }

void TEGLDisplay::Fail(const std::string& Reason) {
  if (Failure.empty()) Failure = Reason;
}

void TEGLDisplay::ReleaseCurrent() const { wglMakeCurrent(nullptr, nullptr); }

void TEGLDisplay::DoneThread() { wglMakeCurrent(nullptr, nullptr); }

void TEGLDisplay::Init() {
  if (Ready) return;
  Failure.clear();
  Ready = true;
}

void TEGLDisplay::Done() {
  if (!Ready) return;
  ReleaseCurrent();
  Ready = false;
}

// --- Contexts

void TEGLDisplay::CreateOffscreenContext(int32_t Width, int32_t Height, TOffscreenContext& Ctx) {
  Ctx = TOffscreenContext{};
  ReleaseCurrent();
  if (!Ready) {
    Fail("WGL is not started");
    return;
  }
  // Bottom-up rows, as GL reads them back.
  BITMAPINFO Info{};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = Width;
  Info.bmiHeader.biHeight = Height;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  if (Width > 0 && Height > 0) {
    Ctx.Bitmap = CreateDIBSection(nullptr, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  }
  if (!Ctx.Bitmap) {
    Fail(WithLastError("CreateDIBSection failed for " + std::to_string(Width) + " x " +
                       std::to_string(Height)));
    return;
  }
  Ctx.Dc = CreateCompatibleDC(nullptr);
  if (!Ctx.Dc || !SelectObject(Ctx.Dc, Ctx.Bitmap)) {
    Fail(WithLastError("no memory device context for the bitmap"));
    DestroyOffscreenContext(Ctx);
    Ctx = TOffscreenContext{};
    return;
  }
  PIXELFORMATDESCRIPTOR Format{};
  Format.nSize = sizeof Format;
  Format.nVersion = 1;
  Format.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL | PFD_SUPPORT_GDI;
  Format.iPixelType = PFD_TYPE_RGBA;
  Format.cColorBits = 32;
  Format.cAlphaBits = 8;
  Format.cDepthBits = 24;
  Format.cStencilBits = 8;
  Format.iLayerType = PFD_MAIN_PLANE;
  const int Chosen = ChoosePixelFormat(Ctx.Dc, &Format);
  if (Chosen == 0) {
    Fail(WithLastError("ChoosePixelFormat found no GL format for a bitmap"));
  } else if (!SetPixelFormat(Ctx.Dc, Chosen, &Format)) {
    Fail(WithLastError("SetPixelFormat failed"));
  } else if ((Ctx.Context = wglCreateContext(Ctx.Dc)) == nullptr) {
    Fail(WithLastError("wglCreateContext failed"));
  } else if (!wglMakeCurrent(Ctx.Dc, Ctx.Context)) {
    Fail(WithLastError("wglMakeCurrent failed"));
  } else {
    KeepVertexColoursUnclamped();
    return;
  }
  // Half a context is no context: the part draws nothing rather than into another part's target.
  DestroyOffscreenContext(Ctx);
  Ctx = TOffscreenContext{};
}

void TEGLDisplay::MakeContextCurrent(const TOffscreenContext& Ctx) const {
  if (!Ctx.Valid()) {
    ReleaseCurrent();
    return;
  }
  wglMakeCurrent(Ctx.Dc, Ctx.Context);
}

// The handles belong to the context alone, so this frees them even after Done.
void TEGLDisplay::DestroyOffscreenContext(const TOffscreenContext& Ctx) const {
  ReleaseCurrent();
  if (Ctx.Context) wglDeleteContext(Ctx.Context);
  if (Ctx.Dc) DeleteDC(Ctx.Dc);
  if (Ctx.Bitmap) DeleteObject(Ctx.Bitmap);
}

bool TEGLDisplay::IsCurrent(const TOffscreenContext& Ctx) {
  return Ctx.Context && wglGetCurrentContext() == Ctx.Context && wglGetCurrentDC() == Ctx.Dc;
}

bool HasCurrentContext() { return wglGetCurrentContext() != nullptr; }
