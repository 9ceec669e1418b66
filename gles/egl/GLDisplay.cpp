// GL contexts through EGL: a display with no window system, one pbuffer a context.
#include "gles/GLESStuff.h"

#include <EGL/eglext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>
#endif

namespace {

// 8-bit RGBA, 24-bit depth, 8-bit stencil, pbuffers.
const EGLint ConfigAttributes[15] = {
    EGL_RED_SIZE,     8, EGL_GREEN_SIZE,   8, EGL_BLUE_SIZE,    8,
    EGL_ALPHA_SIZE,   8, EGL_DEPTH_SIZE,   24, EGL_STENCIL_SIZE, 8,
    EGL_SURFACE_TYPE, EGL_PBUFFER_BIT,     EGL_NONE,
};

const EGLNativeDisplayType DefaultDisplayId = EGL_DEFAULT_DISPLAY;

std::string ErrorName(EGLint Code) {
  switch (Code) {
    case EGL_SUCCESS: return "EGL_SUCCESS";
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_CURRENT_SURFACE: return "EGL_BAD_CURRENT_SURFACE";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_NATIVE_PIXMAP: return "EGL_BAD_NATIVE_PIXMAP";
    case EGL_BAD_NATIVE_WINDOW: return "EGL_BAD_NATIVE_WINDOW";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    case EGL_BAD_SURFACE: return "EGL_BAD_SURFACE";
    case EGL_CONTEXT_LOST: return "EGL_CONTEXT_LOST";
    default: {
      char Text[32];
      std::snprintf(Text, sizeof Text, "EGL error 0x%04X", static_cast<unsigned>(Code));
      return Text;
    }
  }
}

bool HasClientExtension(const char* Name) {
  const char* List = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (!List) {
    eglGetError();  // a plain EGL 1.4 library answers EGL_BAD_DISPLAY here; not worth reporting
    return false;
  }
  const size_t Len = std::strlen(Name);
  for (const char* P = List; (P = std::strstr(P, Name)) != nullptr; P += Len) {
    const bool StartsToken = P == List || P[-1] == ' ';
    const bool EndsToken = P[Len] == ' ' || P[Len] == '\0';
    if (StartsToken && EndsToken) return true;
  }
  return false;
}

// Initialises D into Display; on failure adds why to Tried and gives up on D.
bool TryDisplay(EGLDisplay D, const char* What, std::string& Tried, EGLDisplay& Display) {
  if (!Tried.empty()) Tried += "; ";
  if (D == EGL_NO_DISPLAY) {
    Tried += std::string(What) + ": no display (" + ErrorName(eglGetError()) + ")";
    return false;
  }
  EGLint Major = 0, Minor = 0;
  if (!eglInitialize(D, &Major, &Minor)) {
    Tried += std::string(What) + ": eglInitialize failed (" + ErrorName(eglGetError()) + ")";
    return false;
  }
  Display = D;
  return true;
}

EGLDisplay FirstDeviceDisplay(std::string& Tried) {
  auto QueryDevices =
      reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
  EGLDeviceEXT Device = nullptr;
  EGLint Count = 0;
  if (!QueryDevices || !QueryDevices(1, &Device, &Count) || Count < 1) {
    if (!Tried.empty()) Tried += "; ";
    Tried += "device platform: no EGL device";
    return EGL_NO_DISPLAY;
  }
  return eglGetPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, Device, nullptr);
}

// Without a window system the surfaceless platform is the one that works; the others are there
// for EGL stacks that lack it.
bool OpenDisplay(std::string& Tried, EGLDisplay& Display) {
  if (!HasClientExtension("EGL_MESA_platform_surfaceless")) {
    Tried = "surfaceless platform: not offered";
  } else if (TryDisplay(eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY,
                                              nullptr),
                        "surfaceless platform", Tried, Display)) {
    return true;
  }
  if (HasClientExtension("EGL_EXT_platform_device") &&
      HasClientExtension("EGL_EXT_device_enumeration")) {
    const size_t Before = Tried.size();
    EGLDisplay D = FirstDeviceDisplay(Tried);
    if (Tried.size() == Before && TryDisplay(D, "device platform", Tried, Display)) return true;
  }
  return TryDisplay(eglGetDisplay(DefaultDisplayId), "default display", Tried, Display);
}

#if defined(__SANITIZE_ADDRESS__)
// Mesa's driver keeps some of its memory in its own globals only. Once eglTerminate has unloaded
// it, the leak checker of sanitizer builds finds that memory unreferenced and reports it (about
// a hundred bytes), so every sanitizer run would fail. Kept loaded, it stays reachable.
void KeepDriverLoaded() {
  std::vector<std::string> Drivers;
  dl_iterate_phdr(
      [](dl_phdr_info* Info, size_t, void* Found) {
        const char* Name = Info->dlpi_name;
        if (Name && (std::strstr(Name, "/dri/") || std::strstr(Name, "libgallium")))
          static_cast<std::vector<std::string>*>(Found)->push_back(Name);
        return 0;
      },
      &Drivers);
  for (const std::string& Driver : Drivers) dlopen(Driver.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
#else
void KeepDriverLoaded() {}
#endif

}  // namespace

void PreferInlineRenderer() { setenv("LP_NUM_THREADS", "0", 0); }

// --- Start-up and shut-down

TEGLDisplay::~TEGLDisplay() { Done(); }

void TEGLDisplay::Fail(const std::string& Reason) {
  if (Failure.empty()) Failure = Reason;
}

void TEGLDisplay::ReleaseCurrent() const {
  if (Handles.Display != EGL_NO_DISPLAY) {
    eglMakeCurrent(Handles.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }
}

void TEGLDisplay::DoneThread() { eglReleaseThread(); }

void TEGLDisplay::Init() {
  if (Handles.Display != EGL_NO_DISPLAY) return;
  Failure.clear();
  Handles.Config = nullptr;
  std::string Tried;
  if (!OpenDisplay(Tried, Handles.Display)) {
    Fail("no EGL display (" + Tried + ")");
    return;
  }
  KeepDriverLoaded();
  eglBindAPI(EGL_OPENGL_ES_API);
  EGLint Count = 0;
  if (!eglChooseConfig(Handles.Display, ConfigAttributes, &Handles.Config, 1, &Count) || Count < 1) {
    Handles.Config = nullptr;
    Fail("no EGL configuration with 8-bit RGBA, 24-bit depth, 8-bit stencil and pbuffers");
    return;
  }
  Ready = true;
}

void TEGLDisplay::Done() {
  if (Handles.Display == EGL_NO_DISPLAY) return;
  // A context that is still current would outlive the display otherwise.
  ReleaseCurrent();
  eglTerminate(Handles.Display);
  eglReleaseThread();
  Handles.Display = EGL_NO_DISPLAY;
  Handles.Config = nullptr;
  Ready = false;
}

// --- Contexts

void TEGLDisplay::CreateOffscreenContext(int32_t Width, int32_t Height, TOffscreenContext& Ctx) {
  Ctx = TOffscreenContext{};
  if (!Ready) {
    Fail("EGL is not started");
    ReleaseCurrent();
    return;
  }
  Ctx.Context = eglCreateContext(Handles.Display, Handles.Config, EGL_NO_CONTEXT, nullptr);
  if (Ctx.Context == EGL_NO_CONTEXT) {
    Fail("eglCreateContext failed (" + ErrorName(eglGetError()) + ")");
  }
  const EGLint SurfaceAttributes[] = {EGL_WIDTH, Width, EGL_HEIGHT, Height, EGL_NONE};
  Ctx.Surface = eglCreatePbufferSurface(Handles.Display, Handles.Config, SurfaceAttributes);
  if (Ctx.Surface == EGL_NO_SURFACE) {
    Fail("eglCreatePbufferSurface failed (" + ErrorName(eglGetError()) + ")");
  }
  if (Ctx.Context != EGL_NO_CONTEXT && Ctx.Surface != EGL_NO_SURFACE &&
      eglMakeCurrent(Handles.Display, Ctx.Surface, Ctx.Surface, Ctx.Context)) {
    return;
  }
  if (Ctx.Context != EGL_NO_CONTEXT && Ctx.Surface != EGL_NO_SURFACE) {
    Fail("eglMakeCurrent failed (" + ErrorName(eglGetError()) + ")");
  }
  // Half a context is no context: the part draws nothing rather than into another part's target
  // (destroying releases the current binding first).
  DestroyOffscreenContext(Ctx);
  Ctx = TOffscreenContext{};
}

void TEGLDisplay::MakeContextCurrent(const TOffscreenContext& Ctx) const {
  if (Ctx.Context == EGL_NO_CONTEXT || Ctx.Surface == EGL_NO_SURFACE) {
    ReleaseCurrent();
    return;
  }
  eglMakeCurrent(Handles.Display, Ctx.Surface, Ctx.Surface, Ctx.Context);
}

void TEGLDisplay::DestroyOffscreenContext(const TOffscreenContext& Ctx) const {
  if (Handles.Display == EGL_NO_DISPLAY) return;
  ReleaseCurrent();
  if (Ctx.Context != EGL_NO_CONTEXT) eglDestroyContext(Handles.Display, Ctx.Context);
  if (Ctx.Surface != EGL_NO_SURFACE) eglDestroySurface(Handles.Display, Ctx.Surface);
}

bool TEGLDisplay::IsCurrent(const TOffscreenContext& Ctx) {
  return eglGetCurrentContext() == Ctx.Context && eglGetCurrentSurface(EGL_DRAW) == Ctx.Surface &&
         eglGetCurrentSurface(EGL_READ) == Ctx.Surface;
}

bool HasCurrentContext() { return eglGetCurrentContext() != EGL_NO_CONTEXT; }
