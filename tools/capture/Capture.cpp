#include "tools/capture/Capture.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "app/Program.h"
#include "driver/ConsoleTimeline.h"
#include "platform/AudioDecoder.h"
#include "platform/Cp437.h"
#include "platform/SystemAudio.h"
#include "platform/WorkingDirectory.h"
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

// --- Text and tables

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

// Nearest-rank percentile of sorted values.
double Percentile(const std::vector<double>& Sorted, double P) {
  if (Sorted.empty()) return 0;
  size_t Rank = size_t(std::ceil(P / 100 * double(Sorted.size())));
  return Sorted[std::clamp<size_t>(Rank, 1, Sorted.size()) - 1];
}

double Median(const std::vector<double>& Sorted) {
  size_t N = Sorted.size();
  if (N == 0) return 0;
  return N % 2 ? Sorted[N / 2] : (Sorted[N / 2 - 1] + Sorted[N / 2]) / 2;
}

void AppendRow(std::string& Out, const std::string& Name, const TFrameStats& Stats) {
  std::vector<double> Sorted = Stats.Ms;
  std::sort(Sorted.begin(), Sorted.end());
  double TotalMs = std::accumulate(Sorted.begin(), Sorted.end(), 0.0);
  size_t Frames = Sorted.size();
  double Fps = TotalMs > 0 ? double(Frames) * 1000 / TotalMs : 0;
  double Bytes = Frames ? double(Stats.Bytes) / double(Frames) : 0;
  char Line[160];
  std::snprintf(Line, sizeof Line, "%-6s %8zu %10.3f %10.3f %10.1f %12.0f\n", Name.c_str(), Frames,
                Median(Sorted), Percentile(Sorted, 99), Fps, Bytes);
  Out += Line;
}

}  // namespace

std::string FormatBenchmarkTable(const std::vector<TFrameStats>& Parts) {
  char Head[160];
  std::snprintf(Head, sizeof Head, "%-6s %8s %10s %10s %10s %12s\n", "part", "frames", "median ms",
                "p99 ms", "fps", "bytes/frame");
  std::string Out = Head;
  TFrameStats Show;
  for (size_t I = 0; I < Parts.size(); ++I) {
    AppendRow(Out, std::to_string(I + 1), Parts[I]);
    Show.Ms.insert(Show.Ms.end(), Parts[I].Ms.begin(), Parts[I].Ms.end());
    Show.Bytes += Parts[I].Bytes;
  }
  AppendRow(Out, "show", Show);
  return Out;
}

// --- The capture

TCapture::TCapture(TCaptureOptions Options_)
    : Options(std::move(Options_)),
      Keys(Options.Keys, [this] { return ClockMs(); }),
      Encoder(Options.TrueColor) {
  if (Options.Benchmark) {
    Clock = std::make_unique<TMonotonicClock>();
  } else {
    auto Own = std::make_unique<TSteppedClock>();
    Stepped = Own.get();
    Clock = std::move(Own);
  }
}

TCapture::~TCapture() {
  if (Cast) std::fclose(Cast);
}

int64_t TCapture::ClockMs() {
  if (Stepped) return Stepped->Now / 1000;
  return (Clock->Counter() - Origin) * 1000 / Clock->Frequency();
}

std::string TCapture::CastSeconds() {
  char Text[32];
  if (Stepped) {
    int64_t Ms = ClockMs();
    std::snprintf(Text, sizeof Text, "%lld.%03lld", static_cast<long long>(Ms / 1000),
                  static_cast<long long>(Ms % 1000));
  } else {
    std::snprintf(Text, sizeof Text, "%.6f",
                  double(Clock->Counter() - Origin) / double(Clock->Frequency()));
  }
  return Text;
}

void TCapture::Fail(const std::string& Why) {
  if (Failure.empty()) Failure = Why;
  if (Timeline) Timeline->Running = false;
}

int TCapture::Run() {
  namespace fs = std::filesystem;
  if (!Options.PngAt.empty() || !Options.FramesDir.empty() || !Options.VideoFile.empty()) {
    std::string Error;
    Font = TPsfFont::Load(DefaultCaptureFont, Error);
    if (!Font) {
      std::fprintf(stderr, "vorlek-capture: %s\n", Error.c_str());
      return 1;
    }
  }
  for (const std::string& Dir : {Options.OutDir, Options.FramesDir}) {
    std::error_code Ec;
    if (!Dir.empty()) fs::create_directories(Dir, Ec);
    if (Ec) {
      std::fprintf(stderr, "vorlek-capture: cannot make %s: %s\n", Dir.c_str(),
                   Ec.message().c_str());
      return 1;
    }
  }
  if (!Options.VideoFile.empty()) {
    std::string Error;
    Video = std::make_unique<TVideoEncoder>();
    const bool Heard = !Options.Silent && fs::exists(Options.MusicFile);
    if (!Video->Start(Options.VideoFile, ScreenSize.X * Font->Width() * Options.VideoScale,
                      ScreenSize.Y * Font->Height() * Options.VideoScale, Options.StepMs,
                      Heard ? Options.MusicFile : std::string(), Error)) {
      std::fprintf(stderr, "vorlek-capture: %s\n", Error.c_str());
      return 1;
    }
    CatchInterrupts();
  }
  if (!Options.Silent && !fs::exists(Options.MusicFile))
    std::fprintf(stderr, "vorlek-capture: no music: %s not found; the capture is silent\n",
                 Options.MusicFile.c_str());
  if (!Options.CastFile.empty()) {
    Cast = std::fopen(Options.CastFile.c_str(), "wb");
    if (!Cast) {
      std::fprintf(stderr, "vorlek-capture: cannot write %s\n", Options.CastFile.c_str());
      return 1;
    }
    std::string Header =
        AsciicastHeader(TTerminalEncoder::Columns, TTerminalEncoder::Rows, "vorlek");
    std::fwrite(Header.data(), 1, Header.size(), Cast);
  }

  // The music is decoded at the capture's clock; with no file name the timeline opens nothing.
  auto Audio = CreateClockedAudio(*Clock);
  // The timeline runs unpaced (its benchmark mode) so that frames come exactly one step apart;
  // its once-a-second status only reaches the user when a benchmark was asked for (SetTitle).
  TProgramPlatform Platform{.Screen = *this,
                            .Clock = *Clock,
                            .Keyboard = Keys,
                            .Audio = *Audio,
                            .BenchmarkMode = true,
                            .MusicFile = Options.Silent ? std::string() : Options.MusicFile,
                            .WorkingDirectory = GetWorkingDirectory()};
  int Code = RunProgram({}, Platform, &TCapture::OnBuilt, this);
  Timeline = nullptr;
  if (Progress) ShowProgress(true);

  if (Video) {
    std::string Error;
    if (!Video->Finish(Failure.empty(), Error) && Failure.empty()) Fail(Error);
    Video.reset();
  }

  if (Cast) {
    if (std::fclose(Cast) != 0) Fail("cannot write " + Options.CastFile);
    Cast = nullptr;
  }
  if (Options.Benchmark) {
    std::string Table = FormatBenchmarkTable(Parts);
    std::fwrite(Table.data(), 1, Table.size(), stdout);
  }
  // Frames and tables printed over the run: a write that failed on the way shows here.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail("cannot write standard output");
  if (!Failure.empty()) {
    std::fprintf(stderr, "vorlek-capture: %s\n", Failure.c_str());
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

void TCapture::OnBuilt(TConsoleTimeline& Timeline, void* Self) {
  auto* Capture = static_cast<TCapture*>(Self);
  Capture->Timeline = &Timeline;
  Capture->Parts.assign(size_t(Timeline.SceneCount), TFrameStats{});
  Capture->Origin = Capture->Clock->Counter();
  Capture->LastFrameEnd = Capture->Origin;
  const std::string& Music = Capture->Options.MusicFile;
  if (!Capture->Options.Silent && Timeline.Stream == 0 && std::filesystem::exists(Music)) {
    // The capture goes on silent; open the file once more only to say why it cannot be played.
    std::string Why = "cannot be played";
    TVorbisReader::Open(Music, &Why);
    std::fprintf(stderr, "vorlek-capture: %s: %s; the capture is silent\n", Music.c_str(), Why.c_str());
  }
  Timeline.AfterFrame = [Capture](TTimeline& Ran) { Capture->AfterFrame(Ran); };
  const TCaptureOptions& Options = Capture->Options;
  Capture->Progress =
      (!Options.VideoFile.empty() || !Options.FramesDir.empty() || !Options.CastFile.empty()) &&
      !Options.Benchmark && isatty(STDERR_FILENO);
  Capture->ProgressEndMs = Timeline.Scenes.empty() ? 0 : int64_t(Timeline.Scenes.back()->EndTime());
  if (Options.UntilMs) Capture->ProgressEndMs = std::min(Capture->ProgressEndMs, *Options.UntilMs);
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
  if (Cast) OpenBytes = TTerminalEncoder::OpenSequence(Title, FullScreen);
}

void TCapture::SetTitle(const std::string& Title) {
  // Only the status of a benchmark sets titles; the capture's other runs use benchmark mode just
  // to be unpaced, and the show itself never shows a status.
  if (Options.Benchmark) std::fprintf(stderr, "%s\n", Title.c_str());
}

void TCapture::DrawPicture(std::span<const TCharInfo> Cells) {
  if (PictureFrame != Frame) {
    DrawCells(Cells, ScreenSize.X, ScreenSize.Y, *Font, Picture);
    PictureFrame = Frame;
  }
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

void TCapture::Present(std::span<const TCharInfo> Cells) {
  // The show time this frame depicts: what the scene sees while it renders.
  int64_t Depicted = 0;
  if (Timeline && Timeline->Current) {
    Depicted = int64_t(Timeline->Current->StartTime) + Timeline->Current->Elapsed;
    FramePart = Timeline->CurrentIndex;
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
      Fail("ffmpeg stopped taking frames");
      return;
    }
  }
  if (Cast || Options.Benchmark) {
    Encoded.clear();
    Encoder.Encode(Cells, Encoded);
    if (FramePart >= 0 && size_t(FramePart) < Parts.size())
      Parts[size_t(FramePart)].Bytes += Encoded.size();
  }
  if (Cast) {
    std::string Event = AsciicastOutput(CastSeconds(), OpenBytes + Encoded);
    OpenBytes.clear();
    if (std::fwrite(Event.data(), 1, Event.size(), Cast) != Event.size())
      Fail("cannot write " + Options.CastFile);
  }
  ++Frame;
}

void TCapture::AfterFrame(TTimeline& Ran) {
  if (Options.Benchmark) {
    int64_t Now = Clock->Counter();
    if (FramePart >= 0 && size_t(FramePart) < Parts.size())
      Parts[size_t(FramePart)].Ms.push_back(double(Now - LastFrameEnd) * 1000 /
                                            double(Clock->Frequency()));
    LastFrameEnd = Now;
  }
  FramePart = -1;
  if (Stepped) Stepped->Now += int64_t(Options.StepMs) * 1000;
  if (Options.UntilMs && ClockMs() >= *Options.UntilMs) Ran.Running = false;
  if (Progress && ClockMs() >= NextProgressMs) ShowProgress(false);
  if (Interrupted()) Fail("interrupted");
}
