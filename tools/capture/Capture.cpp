#include "tools/capture/Capture.h"

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>
#include <nlohmann/json.hpp>

#include "app/Program.h"
#include "audio/AudioDecoder.h"
#include "audio/SystemAudio.h"
#include "console/Console.h"
#include "driver/ConsoleTimeline.h"
#include "parts/Show.h"
#include "system/WorkingDirectory.h"
#include "terminal/Cp437.h"
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
  size_t Rank = size_t(std::ceil(P / 100 * double(Sorted.size())));
  return Sorted[std::clamp<size_t>(Rank, 1, Sorted.size()) - 1];
}

double Median(const std::vector<double>& Sorted) {
  size_t N = Sorted.size();
  return N % 2 ? Sorted[N / 2] : (Sorted[N / 2 - 1] + Sorted[N / 2]) / 2;
}

// Median, 99th percentile and maximum of a part's frame times; nothing when it has no frames.
struct TSpread {
  double Median, P99, Max;
};
std::optional<TSpread> Spread(std::vector<double> Values) {
  if (Values.empty()) return std::nullopt;
  std::sort(Values.begin(), Values.end());
  return TSpread{Median(Values), Percentile(Values, 99), Values.back()};
}

std::optional<double> BytesPerFrame(const TFrameStats& Stats) {
  if (Stats.WallMs.empty()) return std::nullopt;
  return double(Stats.Bytes) / double(Stats.WallMs.size());
}

// The whole show as one part.
TFrameStats Together(const std::vector<TFrameStats>& Parts) {
  TFrameStats Show;
  for (const TFrameStats& Part : Parts) {
    Show.WallMs.insert(Show.WallMs.end(), Part.WallMs.begin(), Part.WallMs.end());
    Show.CpuMs.insert(Show.CpuMs.end(), Part.CpuMs.begin(), Part.CpuMs.end());
    Show.Bytes += Part.Bytes;
  }
  return Show;
}

void AppendRow(std::string& Out, const std::string& Name, const TFrameStats& Stats) {
  char Field[32];
  std::snprintf(Field, sizeof Field, "%-6s %7zu", Name.c_str(), Stats.WallMs.size());
  Out += Field;
  for (const auto& Times : {Spread(Stats.WallMs), Spread(Stats.CpuMs)}) {
    for (double TSpread::*Figure : {&TSpread::Median, &TSpread::P99, &TSpread::Max}) {
      if (Times)
        std::snprintf(Field, sizeof Field, " %8.3f", (*Times).*Figure);
      else
        std::snprintf(Field, sizeof Field, " %8s", "-");
      Out += Field;
    }
  }
  if (auto Bytes = BytesPerFrame(Stats))
    std::snprintf(Field, sizeof Field, " %11.0f\n", *Bytes);
  else
    std::snprintf(Field, sizeof Field, " %11s\n", "-");
  Out += Field;
}

// Milliseconds to the microsecond, which is all a clock on a shared machine can tell.
double Round3(double Ms) { return std::round(Ms * 1000) / 1000; }

nlohmann::ordered_json SpreadJson(const std::vector<double>& Values) {
  auto Times = Spread(Values);
  if (!Times) return nullptr;
  return {{"median", Round3(Times->Median)}, {"p99", Round3(Times->P99)}, {"max", Round3(Times->Max)}};
}

nlohmann::ordered_json PartJson(const TFrameStats& Stats) {
  auto Bytes = BytesPerFrame(Stats);
  return {{"frames", Stats.WallMs.size()},
          {"wall_ms", SpreadJson(Stats.WallMs)},
          {"cpu_ms", SpreadJson(Stats.CpuMs)},
          {"bytes_per_frame", Bytes ? nlohmann::ordered_json(std::round(*Bytes)) : nlohmann::ordered_json(nullptr)}};
}

double ProcessCpuMs() {
  timespec Ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Ts);
  return double(Ts.tv_sec) * 1000 + double(Ts.tv_nsec) / 1e6;
}

double MsBetween(std::chrono::steady_clock::time_point From,
                 std::chrono::steady_clock::time_point To) {
  return std::chrono::duration<double, std::milli>(To - From).count();
}

}  // namespace

std::string FormatBenchmarkTable(const std::vector<TFrameStats>& Parts, double StartupMs) {
  char Head[160];
  std::snprintf(Head, sizeof Head, "%-6s %7s %8s %8s %8s %8s %8s %8s %11s\n", "part", "frames",
                "wall ms", "p99", "max", "cpu ms", "p99", "max", "bytes/frame");
  std::string Out = Head;
  for (size_t I = 0; I < Parts.size(); ++I) AppendRow(Out, std::to_string(I + 1), Parts[I]);
  AppendRow(Out, "show", Together(Parts));
  char Startup[80];
  std::snprintf(Startup, sizeof Startup, "start-up %.1f ms\n", StartupMs);
  return Out + Startup;
}

std::string FormatBenchmarkJson(const std::vector<TFrameStats>& Parts, double StartupMs) {
  nlohmann::ordered_json Out = {{"startup_ms", Round3(StartupMs)}, {"parts", nlohmann::ordered_json::array()}};
  for (size_t I = 0; I < Parts.size(); ++I) {
    nlohmann::ordered_json Part = {{"part", I + 1}};
    Part.update(PartJson(Parts[I]));
    Out["parts"].push_back(std::move(Part));
  }
  Out["show"] = PartJson(Together(Parts));
  return Out.dump(2) + "\n";
}

// --- The capture

TCapture::TCapture(TCaptureOptions Options_, std::chrono::steady_clock::time_point Start)
    : Options(std::move(Options_)),
      Keys(Options.Keys, [this] { return ClockMs(); }),
      Encoder(Options.TrueColor),
      ProgramStart(Start) {}

TCapture::~TCapture() {
  if (Cast) std::fclose(Cast);
}

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
  auto Audio = CreateClockedAudio(Clock);
  // The timeline runs unpaced (its benchmark mode) so that frames come exactly one step apart;
  // its once-a-second status counts frames of the stepped clock, so it is not shown (SetTitle).
  TProgramPlatform Platform{.Screen = *this,
                            .Clock = Clock,
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
  Capture->Parts.assign(ShowParts.size(), TFrameStats{});
  Capture->LastFrameEnd = std::chrono::steady_clock::now();
  Capture->NextFrameStart = Capture->LastFrameEnd;
  Capture->LastFrameCpuMs = ProcessCpuMs();
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
  Capture->ProgressEndMs = ShowEnd;
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
  if (StartupMs < 0) StartupMs = MsBetween(ProgramStart, std::chrono::steady_clock::now());
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
  if (Options.UntilMs && ClockMs() >= *Options.UntilMs) Ran.Running = false;
  if (Progress && ClockMs() >= NextProgressMs) ShowProgress(false);
  if (Interrupted()) Fail("interrupted");
}
