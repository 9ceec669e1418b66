#include "tools/capture/Capture.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <thread>

#include "app/Program.h"
#include "audio/AudioDecoder.h"
#include "audio/AudioOutput.h"
#include "console/Console.h"
#include "system/WorkingDirectory.h"
#include "terminal/Cp437.h"
#include "terminal/Utf8.h"
#include "tools/capture/Asciicast.h"

// --- Scripted keys

TKeyScript::TKeyScript(std::vector<TKeyPress> Presses, std::function<int64_t()> ClockMs_)
    : Pending(std::move(Presses)), ClockMs(std::move(ClockMs_)) {}

bool TKeyScript::KeyState(TKey Key) {
  // Several presses of one key due at once read as one, as a polled key would.
  int64_t Now = ClockMs();
  auto Due = [&](const TKeyPress& Press) { return Press.Key == Key && Press.Ms <= Now; };
  bool Down = std::any_of(Pending.begin(), Pending.end(), Due);
  Pending.erase(std::remove_if(Pending.begin(), Pending.end(), Due), Pending.end());
  return Down;
}

// --- Text

std::string FormatCells(int64_t Ms, std::span<const TCharInfo> Cells) {
  constexpr int Columns = ScreenSize.X, Rows = ScreenSize.Y;
  static constexpr char Hex[] = "0123456789abcdef";
  std::string Out = "@ " + std::to_string(Ms) + "\n";
  for (int Row = 0; Row < Rows; ++Row) {
    for (int Column = 0; Column < Columns; ++Column)
      Out += Cp437ToUtf8(Cells[size_t(Row * Columns + Column)].AsciiChar);
    Out += '\n';
  }
  Out += "--\n";
  for (int Row = 0; Row < Rows; ++Row) {
    for (int Column = 0; Column < Columns; ++Column) {
      uint16_t Attributes = Cells[size_t(Row * Columns + Column)].Attributes;
      Out += Hex[(Attributes >> 4) & 15];
      Out += Hex[Attributes & 15];
    }
    Out += '\n';
  }
  return Out;
}

namespace {

// One line on standard error; file names and values in it are the user's, so control bytes show
// escaped.
void Say(const std::string& Message) {
  std::fprintf(stderr, "vorlek-capture: %s\n", EscapeControls(Message).c_str());
}

double ProcessCpuMs() {
  timespec Ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Ts);
  return double(Ts.tv_sec) * 1000 + double(Ts.tv_nsec) / 1e6;
}

// Whether Music can be played; when not, standard error says why, once, before the show.
bool MusicPlays(const std::string& Music) {
  struct stat Info {};
  if (stat(Music.c_str(), &Info) != 0 && errno == ENOENT) {
    Say("no music: " + Music + " not found; the capture is silent");
    return false;
  }
  std::string Why;
  auto Reader = TVorbisReader::Open(Music, &Why);
  if (!Reader) {
    Say(Music + ": " + Why + "; the capture is silent");
    return false;
  }
  if (Reader->TrailingBytes() > 0)
    Say(Music + ": the " + std::to_string(Reader->TrailingBytes()) +
        " bytes after the music's last page are left unread");
  return true;
}

double MsBetween(std::chrono::steady_clock::time_point From,
                 std::chrono::steady_clock::time_point To) {
  return std::chrono::duration<double, std::milli>(To - From).count();
}

}  // namespace

// --- The capture

namespace {
// Pictures of a whole terminal with tall cells use the 8 x 16 console font, others the 8 x 8 one.
std::string PictureFontFor(const TCaptureOptions& Options, bool WholeTerminal) {
  const bool Tall = 2 * Options.Cell.Height >= 3 * Options.Cell.Width;
  return WholeTerminal && Tall ? TallCaptureFont : DefaultCaptureFont;
}
}  // namespace

TCapture::TCapture(TCaptureOptions Options_, std::chrono::steady_clock::time_point Start)
    : Options(std::move(Options_)),
      Keys(Options.Keys, [this] { return ClockMs(); }),
      Encoder(TTerminalKind{.TrueColor = Options.TrueColor,
                            .LinuxConsole = Options.LinuxConsole,
                            .LineDrawing = Options.LineDrawing,
                            .Repeat = Options.Repeat}),
      ProgramStart(Start) {
  Encoder.Resize(Options.TerminalColumns, Options.TerminalRows, Options.Cell);
}

TCapture::~TCapture() = default;

int64_t TCapture::ClockMs() { return Clock.Now / 1000; }

std::string TCapture::CastSeconds() {
  char Text[32];
  int64_t Ms = ClockMs();
  std::snprintf(Text, sizeof Text, "%lld.%03lld", static_cast<long long>(Ms / 1000),
                static_cast<long long>(Ms % 1000));
  return Text;
}

void TCapture::Fail(const std::string& Why) {
  if (Failure.empty()) Failure = Why;
  Stopping = true;
}

int TCapture::Run() {
  namespace fs = std::filesystem;
  if (!Options.PngAt.empty() || !Options.FramesDir.empty() || !Options.VideoFile.empty()) {
    std::string Error;
    Font = TPsfFont::Load(PictureFontFor(Options, WholeTerminal()), Error);
    if (!Font) {
      Say(Error);
      return 1;
    }
  }
  for (const std::string& Dir : {Options.OutDir, Options.FramesDir}) {
    std::error_code Ec;
    if (!Dir.empty()) fs::create_directories(Dir, Ec);
    if (Ec) {
      Say("cannot make " + Dir + ": " + Ec.message());
      return 1;
    }
  }
  // Recordings are removed when interrupted; set first, as a FIFO named as one waits for a reader.
  if (!Options.VideoFile.empty() || !Options.CastFile.empty()) CatchInterrupts();
  Heard = !Options.Silent && MusicPlays(Options.MusicFile);
  if (!Options.VideoFile.empty()) {
    std::string Error;
    Video = std::make_unique<TVideoEncoder>();
    if (!Video->Start(Options.VideoFile, PictureColumns() * Font->Width() * Options.VideoScale,
                      PictureRows() * Font->Height() * Options.VideoScale, Options.StepMs,
                      Heard ? Options.MusicFile : std::string(), Error)) {
      Say(Error);
      return 1;
    }
  }
  if (!Options.CastFile.empty()) {
    // A stream: a device or a FIFO named as the cast is written directly.
    std::string Error;
    Cast = std::make_unique<TOutputFile>();
    std::string Header =
        AsciicastHeader(Options.TerminalColumns, Options.TerminalRows, "vorlek");
    if (!Cast->Open(Options.CastFile, true, ".partial", Error) ||
        !Cast->Write(Header.data(), Header.size(), Error, Interrupted)) {
      Say(Interrupted() ? "interrupted" : Error);
      return 1;
    }
  }

  // The music is decoded at the capture's clock; with no file name the timeline opens nothing.
  auto Audio = CreateClockedAudio(Clock);
  // The timeline runs unpaced (its benchmark mode) so that frames come exactly one step apart;
  // its once-a-second status counts frames of the stepped clock, so it is not shown (SetTitle).
  TProgramPlatform Platform{.Screen = *this,
                            .Clock = Clock,
                            .Keyboard = Keys,
                            .Audio = *Audio,
                            .BenchmarkMode = true,
                            .MusicFile = Heard ? Options.MusicFile : std::string(),
                            .WorkingDirectory = GetWorkingDirectory()};
  TProgramWatcher Watcher{
      .Built = [this](const TFrameRecord& Built) { Watch(Built); },
      .AfterFrame = [this](const TFrameRecord& Ran) { return AfterFrame(Ran); }};
  int Code = RunProgram({}, Platform, Watcher);
  if (Progress) ShowProgress(true);

  if (Video) {
    std::string Error;
    if (!Video->Finish(Failure.empty(), Error) && Failure.empty()) Fail(Error);
    Video.reset();
  }

  if (Cast) {
    std::string Error;
    if (Failure.empty() && !Cast->Commit(Error)) Fail(Error);
    Cast.reset();  // removes what was not committed
  }
  if (Options.Benchmark) {
    std::string Table = FormatBenchmarkTable(Parts, StartupMs);
    std::fwrite(Table.data(), 1, Table.size(), stdout);
  }
  if (!Options.BenchmarkJson.empty()) {
    std::string Json = FormatBenchmarkJson(Parts, StartupMs);
    std::FILE* File = std::fopen(Options.BenchmarkJson.c_str(), "wb");
    const bool Written = File && std::fwrite(Json.data(), 1, Json.size(), File) == Json.size();
    if (!(File && std::fclose(File) == 0 && Written))
      Fail("cannot write " + Options.BenchmarkJson);
  }
  // Frames and tables printed over the run: a write that failed on the way shows here.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail("cannot write standard output");
  if (!Failure.empty()) {
    Say(Failure);
    return 1;
  }
  // Not an error (the show may end early on a key or --until), but nothing was written for them.
  for (size_t I = NextCells; I < Options.CellsAt.size(); ++I)
    std::fprintf(stderr, "vorlek-capture: --cells-at %lld: show time not reached\n",
                 static_cast<long long>(Options.CellsAt[I]));
  for (size_t I = NextPng; I < Options.PngAt.size(); ++I)
    std::fprintf(stderr, "vorlek-capture: --png-at %lld: show time not reached\n",
                 static_cast<long long>(Options.PngAt[I]));
  return Code;
}

void TCapture::Watch(const TFrameRecord& Built) {
  Parts.assign(size_t(Built.PartCount), TFrameStats{});
  LastFrameEnd = std::chrono::steady_clock::now();
  NextFrameStart = LastFrameEnd;
  LastFrameCpuMs = ProcessCpuMs();
  // Opened once already; only a file changed since then fails here.
  if (Heard && !Built.MusicPlays)
    Say(Options.MusicFile + ": cannot be played; the capture is silent");
  Progress =
      (!Options.VideoFile.empty() || !Options.FramesDir.empty() || !Options.CastFile.empty()) &&
      !Options.Benchmark && isatty(STDERR_FILENO);
  ProgressEndMs = Built.EndMs;
  if (Options.UntilMs) ProgressEndMs = std::min(ProgressEndMs, *Options.UntilMs);
}

void TCapture::ShowProgress(bool Done) {
  const int64_t Ms = std::min(ClockMs(), ProgressEndMs);
  std::fprintf(stderr, "\rvorlek-capture: %lld.%lld s of %lld.%lld s recorded%s",
               static_cast<long long>(Ms / 1000), static_cast<long long>(Ms % 1000 / 100),
               static_cast<long long>(ProgressEndMs / 1000),
               static_cast<long long>(ProgressEndMs % 1000 / 100), Done ? "\n" : "");
  NextProgressMs = Ms + 500;
}

void TCapture::Open(const std::string& Title, bool FullScreen) {
  if (Cast)
    OpenBytes = TTerminalEncoder::OpenSequence(
        Title, FullScreen, Encoder.Kind());
}

bool TCapture::WholeTerminal() const {
  return Options.TerminalColumns != ScreenSize.X || Options.TerminalRows != ScreenSize.Y;
}
int TCapture::PictureColumns() const { return WholeTerminal() ? Options.TerminalColumns : ScreenSize.X; }
int TCapture::PictureRows() const { return WholeTerminal() ? Options.TerminalRows : ScreenSize.Y; }

void TCapture::DrawPicture(std::span<const TCharInfo> Cells) {
  if (PictureFrame == Frame) return;
  PictureFrame = Frame;
  if (!WholeTerminal()) {
    DrawCells(Cells, ScreenSize.X, ScreenSize.Y, *Font, Picture);
    return;
  }
  // The terminal's whole screen: the picture as laid out there, between black margins.
  const TTerminalLayout& Layout = Encoder.Layout();
  Layout.Apply(Cells, Laid);
  Screen.assign(size_t(PictureColumns()) * size_t(PictureRows()), TCharInfo{' ', 0, 0});
  for (int Row = 0; Row < Layout.Height(); ++Row)
    std::copy_n(Laid.begin() + std::ptrdiff_t(Row * Layout.Width()), Layout.Width(),
                Screen.begin() + std::ptrdiff_t((Layout.Top() + Row) * PictureColumns() + Layout.Left()));
  DrawCells(Screen, PictureColumns(), PictureRows(), *Font, Picture);
}

bool TCapture::WritePicture(std::span<const TCharInfo> Cells, const std::string& Path) {
  DrawPicture(Cells);
  std::string Error;
  if (!WritePalettePng(Path, Picture, Error)) {
    Fail(Error);
    return false;
  }
  return true;
}

void TCapture::Present(std::span<const TCharInfo> Cells, const TFrameRecord& Shown) {
  // The show time this frame depicts: what the scene sees while it renders.
  int64_t Depicted = 0;
  if (Shown.Part >= 0) {
    Depicted = Shown.ShownMs;
    FramePart = Shown.Part;
  }
  // Requests are ascending and each is done at the first frame reaching it, so every pending one
  // lies beyond all times shown so far, even after a jump back.
  for (; NextCells < Options.CellsAt.size() && Depicted >= Options.CellsAt[NextCells];
       ++NextCells) {
    std::string Text = FormatCells(Options.CellsAt[NextCells], Cells);
    std::fwrite(Text.data(), 1, Text.size(), stdout);
  }
  for (; NextPng < Options.PngAt.size() && Depicted >= Options.PngAt[NextPng]; ++NextPng) {
    char Name[40];
    std::snprintf(Name, sizeof Name, "frame-%05lld.png",
                  static_cast<long long>(Options.PngAt[NextPng]));
    if (!WritePicture(Cells, (std::filesystem::path(Options.OutDir) / Name).string())) return;
  }
  if (!Options.FramesDir.empty()) {
    char Name[40];
    std::snprintf(Name, sizeof Name, "%05lld.png", static_cast<long long>(Frame));
    if (!WritePicture(Cells, (std::filesystem::path(Options.FramesDir) / Name).string())) return;
  }
  if (Video) {
    DrawPicture(Cells);
    ExpandPicture(Picture, Options.VideoScale, VideoFrame);
    if (!Video->Write(VideoFrame)) {
      Fail(Interrupted() ? "interrupted" : "ffmpeg stopped taking frames");
      return;
    }
  }
  if (Cast || Options.Benchmark) {
    Encoded.clear();
    Encoder.Encode(Cells, Encoded);
    if (FramePart >= 0 && size_t(FramePart) < Parts.size())
      Parts[size_t(FramePart)].Bytes += Encoded.size();
  }
  if (StartupMs < 0) StartupMs = MsBetween(ProgramStart, std::chrono::steady_clock::now());
  if (Cast) {
    std::string Event = AsciicastOutput(CastSeconds(), OpenBytes + Encoded);
    OpenBytes.clear();
    std::string Error;
    if (!Cast->Write(Event.data(), Event.size(), Error, Interrupted))
      Fail(Interrupted() ? "interrupted" : Error);
  }
  ++Frame;
}

bool TCapture::AfterFrame(const TFrameRecord&) {
  if (Options.Benchmark) {
    // A frame is everything from the end of the last one: render, present, encode, timeline.
    const auto Now = std::chrono::steady_clock::now();
    const double CpuMs = ProcessCpuMs();
    if (FramePart >= 0 && size_t(FramePart) < Parts.size()) {
      Parts[size_t(FramePart)].WallMs.push_back(MsBetween(LastFrameEnd, Now));
      Parts[size_t(FramePart)].CpuMs.push_back(CpuMs - LastFrameCpuMs);
    }
    LastFrameEnd = Now;
    LastFrameCpuMs = CpuMs;
  }
  FramePart = -1;
  Clock.Now += int64_t(Options.StepMs) * 1000;
  if (Options.Paced) {
    // The next frame starts one step after this one started, or at once when this one ran over.
    NextFrameStart += std::chrono::milliseconds(Options.StepMs);
    const auto Now = std::chrono::steady_clock::now();
    if (NextFrameStart > Now)
      std::this_thread::sleep_until(NextFrameStart);
    else
      NextFrameStart = Now;
    LastFrameEnd = std::chrono::steady_clock::now();
    LastFrameCpuMs = ProcessCpuMs();
  }
  if (Options.UntilMs && ClockMs() >= *Options.UntilMs) Stopping = true;
  if (Progress && ClockMs() >= NextProgressMs) ShowProgress(false);
  if (Interrupted()) Fail("interrupted");
  return !Stopping;
}
