#include "tools/capture/CaptureOptions.h"

#include <algorithm>
#include <charconv>

#include "terminal/TerminalTraits.h"
#include "terminal/Utf8.h"

namespace {

// A whole non-negative decimal number of milliseconds, nothing else.
bool ParseMs(const std::string& Text, int64_t& Out) {
  if (Text.empty()) return false;
  const char* End = Text.data() + Text.size();
  auto [Ptr, Ec] = std::from_chars(Text.data(), End, Out);
  return Ec == std::errc() && Ptr == End && Out >= 0;
}

bool ParseKey(const std::string& Name, TKey& Out) {
  if (Name == "right")
    Out = TKey::Right;
  else if (Name == "left")
    Out = TKey::Left;
  else if (Name == "esc")
    Out = TKey::Escape;
  else
    return false;
  return true;
}

// "MS:KEY,MS:KEY,..."
bool ParseKeys(const std::string& Text, std::vector<TKeyPress>& Out) {
  size_t Begin = 0;
  while (true) {
    size_t Comma = Text.find(',', Begin);
    std::string Item =
        Text.substr(Begin, Comma == std::string::npos ? std::string::npos : Comma - Begin);
    size_t Colon = Item.find(':');
    if (Colon == std::string::npos) return false;
    TKeyPress Press;
    if (!ParseMs(Item.substr(0, Colon), Press.Ms) || !ParseKey(Item.substr(Colon + 1), Press.Key))
      return false;
    Out.push_back(Press);
    if (Comma == std::string::npos) return true;
    Begin = Comma + 1;
  }
}

void SortUnique(std::vector<int64_t>& Times) {
  std::sort(Times.begin(), Times.end());
  Times.erase(std::unique(Times.begin(), Times.end()), Times.end());
}

}  // namespace

const char* CaptureUsage() {
  return "usage: vorlek-capture [--step MS] [--music FILE | --silent] [--keys MS:KEY,...] "
         "[--cells-at MS]... [--png-at MS]... [--out DIR] [--frames DIR] [--cast FILE] "
         "[--truecolor | --linux-console] [--line-drawing] [--repeat | --repeat-ascii] "
         "[--size COLSxROWS] [--cell WxH] [--video FILE [--scale N]] [--benchmark] "
         "[--benchmark-json FILE] [--paced] "
         "[--until MS] [--help] "
         "[--version]  (KEY: right, left, esc)";
}

const char* CaptureHelp() {
  return "usage: vorlek-capture [OPTION]...\n"
         "\n"
         "Plays the vorlek show offline on a virtual clock (no terminal, keyboard or sound card)\n"
         "and records it as text, pictures, a terminal cast, a video or timings. Every run with\n"
         "the same options gives the same output, timings aside.\n"
         "\n"
         "  --step MS          advance the clock MS milliseconds per frame (default 16)\n"
         "  --music FILE       the music (default: vorlek.ogg in the current folder, or else\n"
         "                     the one installed with the program)\n"
         "  --silent           play no music\n"
         "  --keys MS:KEY,...  press KEY (right, left, esc) once the clock reaches MS\n"
         "  --until MS         stop once the clock reaches MS\n"
         "  --cells-at MS      print the frame shown at MS as text: glyphs, then attributes\n"
         "  --png-at MS        write the frame shown at MS as DIR/frame-MS.png (with --out)\n"
         "  --out DIR          where --png-at writes\n"
         "  --frames DIR       write every frame as DIR/00000.png, DIR/00001.png, ...\n"
         "  --cast FILE        write an asciicast v2 recording (asciinema play FILE)\n"
         "  --truecolor        24-bit colour in the recording\n"
         "  --linux-console    record what the Linux console gets: its colour rules, the\n"
         "                     show's palette set at the start\n"
         "  --line-drawing     box lines in the VT100 line-drawing set, one byte each, as on\n"
         "                     xterm, tmux and the terminals that take their names\n"
         "  --repeat           runs of one glyph as the glyph and a REP (CSI n b), as on\n"
         "                     terminals that pass the show's test of it\n"
         "  --repeat-ascii     the same for ASCII glyphs alone, as on tmux 3.3\n"
         "  --size COLSxROWS   record for a terminal of this many columns and rows (default\n"
         "                     80x50: one terminal cell per show cell)\n"
         "  --cell WxH         its cells are W by H pixels (default 1x2, what the show assumes\n"
         "                     when a terminal does not tell): the picture is laid out in\n"
         "                     proportion, as in such a terminal\n"
         "  --video FILE       encode an H.264 video with the music through ffmpeg, at\n"
         "                     1000 / step frames per second (62.5 by default)\n"
         "  --scale N          video pixels per picture pixel, 1 to 8 (default 1: 640 x 400)\n"
         "  --benchmark        play the frames of the stepped clock unpaced (unless --paced),\n"
         "                     time each, and print per part and for the show:\n"
         "                     frames; wall and process CPU ms per frame (all threads;\n"
         "                     median, 99th percentile, maximum); encoded bytes per frame\n"
         "                     (--truecolor for 24-bit colour); and the start-up time, from\n"
         "                     the program's start (main) to the first frame presented\n"
         "  --benchmark-json FILE  also write those figures to FILE as JSON (implies\n"
         "                     --benchmark)\n"
         "  --paced            start each frame one step of the wall clock after the last,\n"
         "                     as the show does in a terminal; with --benchmark a frame's\n"
         "                     times leave out the wait before it\n"
         "  -h, --help         print this help and exit\n"
         "  --version          print the version and exit\n"
         "\n"
         "Pictures and videos draw each cell with the 8 x 8 console font\n"
         "/usr/share/consolefonts/Uni2-VGA8.psf.gz (Debian package console-setup-linux).\n"
         "Long recordings show their progress on standard error when it is a terminal.\n"
         "A video or a cast takes its name only once complete: an interrupted or failed run\n"
         "leaves what the name held before.\n"
         "\n"
         "Environment:\n"
         "  PATH               where ffmpeg is looked for (--video)\n";
}

std::optional<TCaptureOptions> ParseCaptureArgs(const std::vector<std::string>& Args,
                                                std::string& Error) {
  TCaptureOptions Options;
  // Every value quoted in a message is the user's: shown with its control bytes escaped.
  auto Fail = [&](const std::string& Why) {
    Error = EscapeControls(Why);
    return std::optional<TCaptureOptions>();
  };
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Name = Args[I];
    if (Name == "--silent") {
      Options.Silent = true;
      continue;
    }
    if (Name == "--truecolor") {
      Options.TrueColor = true;
      continue;
    }
    if (Name == "--linux-console") {
      Options.LinuxConsole = true;
      continue;
    }
    if (Name == "--line-drawing") {
      Options.LineDrawing = true;
      continue;
    }
    if (Name == "--repeat" || Name == "--repeat-ascii") {
      using enum TTerminalKind::TRepeat;
      Options.Repeat = Name == "--repeat" ? Every : Ascii;
      continue;
    }
    if (Name == "--benchmark") {
      Options.Benchmark = true;
      continue;
    }
    if (Name == "--paced") {
      Options.Paced = true;
      continue;
    }
    if (Name == "--help" || Name == "-h" || Name == "--version") {
      (Name == "--version" ? Options.Version : Options.Help) = true;
      return Options;
    }

    static const char* const WithValue[] = {"--step",   "--music", "--keys",   "--cells-at",
                                            "--png-at", "--out",   "--frames", "--cast",
                                            "--until",  "--video", "--scale", "--benchmark-json",
                                            "--size",   "--cell"};
    if (std::find(std::begin(WithValue), std::end(WithValue), Name) == std::end(WithValue))
      return Fail("unknown option " + Name);
    if (I + 1 >= Args.size()) return Fail(Name + " needs a value");
    const std::string& Value = Args[++I];

    int64_t Ms = 0;
    bool IsNumber = Name == "--step" || Name == "--cells-at" || Name == "--png-at" ||
                    Name == "--until" || Name == "--scale";
    if (IsNumber && !ParseMs(Value, Ms))
      return Fail(std::string(Name == "--scale" ? "bad number" : "bad milliseconds") + " for " +
                  Name + ": " + Value);
    if (!IsNumber && Value.empty()) return Fail(Name + " needs a value");

    if (Name == "--step") {
      // A step of zero would never move the clock; more than a minute per frame makes no show.
      if (Ms < 1 || Ms > 60000) return Fail("--step must be 1 to 60000");
      Options.StepMs = int(Ms);
    } else if (Name == "--music") {
      Options.MusicFile = Value;
      Options.MusicGiven = true;
    } else if (Name == "--keys") {
      if (!ParseKeys(Value, Options.Keys)) return Fail("bad --keys: " + Value);
    } else if (Name == "--cells-at") {
      Options.CellsAt.push_back(Ms);
    } else if (Name == "--png-at") {
      Options.PngAt.push_back(Ms);
    } else if (Name == "--out") {
      Options.OutDir = Value;
    } else if (Name == "--frames") {
      Options.FramesDir = Value;
    } else if (Name == "--cast") {
      Options.CastFile = Value;
    } else if (Name == "--until") {
      Options.UntilMs = Ms;
    } else if (Name == "--video") {
      Options.VideoFile = Value;
    } else if (Name == "--benchmark-json") {
      Options.BenchmarkJson = Value;
      Options.Benchmark = true;
    } else if (Name == "--size") {
      const size_t Cross = Value.find('x');
      int64_t Columns = 0, Rows = 0;
      if (Cross == std::string::npos || !ParseMs(Value.substr(0, Cross), Columns) ||
          !ParseMs(Value.substr(Cross + 1), Rows) || Columns < 1 || Rows < 1 || Columns > 4096 ||
          Rows > 4096)
        return Fail("--size takes COLSxROWS, each 1 to 4096: " + Value);
      Options.TerminalColumns = int(Columns);
      Options.TerminalRows = int(Rows);
    } else if (Name == "--cell") {
      auto Cell = ParseCellShape(Value);
      if (!Cell) return Fail("--cell takes WxH, each 1 to 512 pixels: " + Value);
      Options.Cell = *Cell;
    } else if (Name == "--scale") {
      if (Ms < 1 || Ms > 8) return Fail("--scale must be 1 to 8");
      Options.VideoScale = int(Ms);
    }
  }
  if (!Options.PngAt.empty() && Options.OutDir.empty()) return Fail("--png-at needs --out DIR");
  if (Options.Silent && Options.MusicGiven) return Fail("--silent and --music exclude each other");
  if (Options.TrueColor && Options.LinuxConsole)
    return Fail("--truecolor and --linux-console exclude each other: that console has no 24-bit colour");
  if (Options.LineDrawing && Options.LinuxConsole)
    return Fail("--line-drawing and --linux-console exclude each other: that console ignores the set");
  if (Options.Repeat != TTerminalKind::TRepeat::None && Options.LinuxConsole)
    return Fail("--repeat and --linux-console exclude each other: that console has no REP");
  SortUnique(Options.CellsAt);
  SortUnique(Options.PngAt);
  return Options;
}
