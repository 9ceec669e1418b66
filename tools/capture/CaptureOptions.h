// CaptureOptions: the command line of vorlek-capture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "terminal/Keyboard.h"
#include "terminal/TerminalColors.h"
#include "terminal/TerminalLayout.h"

// A key pressed at the first frame whose capture clock reaches Ms.
struct TKeyPress {
  int64_t Ms = 0;
  TKey Key = TKey::Escape;
};

struct TCaptureOptions {
  int StepMs = 16;  // virtual clock advance per frame
  std::string MusicFile = "vorlek.ogg";
  bool MusicGiven = false;         // MusicFile came from --music
  bool Silent = false;             // open no music at all
  std::vector<TKeyPress> Keys;     // in the order given
  std::vector<int64_t> CellsAt;    // show times to print as text, ascending, unique
  std::vector<int64_t> PngAt;      // show times to write as DIR/frame-MS.png, ascending, unique
  std::string OutDir;              // where --png-at writes
  std::string FramesDir;           // every frame as DIR/00000.png, ... when not empty
  std::string CastFile;            // asciicast v2 recording when not empty
  bool TrueColor = false;          // 24-bit colour in the encoded bytes
  bool LinuxConsole = false;       // the bytes the Linux console gets (its colours and palette)
  bool LineDrawing = false;        // box lines in the VT100 line-drawing set
  TTerminalKind::TRepeat Repeat{};  // which runs of one glyph go out as the glyph and a REP
  int TerminalColumns = 80;        // the terminal the encoded bytes are for
  int TerminalRows = 50;
  TCellShape Cell;                 // its cell's shape: tall unless told
  bool Benchmark = false;          // timings of every frame, a table of them at the end
  std::string BenchmarkJson;       // the benchmark's figures as JSON too when not empty
  bool Paced = false;              // each frame waits for its step of the wall clock
  std::optional<int64_t> UntilMs;  // stop once the capture clock reaches it
  std::string VideoFile;           // H.264 video through ffmpeg when not empty
  int VideoScale = 1;              // video pixels per picture pixel
  bool Help = false;               // --help or -h: print CaptureHelp, nothing else
  bool Version = false;            // --version: print the version, nothing else
};

// The one-line usage message (without a newline).
const char* CaptureUsage();
// The whole help text: options, files and environment.
const char* CaptureHelp();

// Reads the arguments after the program name. On a bad option or value returns nothing and says
// why in Error.
std::optional<TCaptureOptions> ParseCaptureArgs(const std::vector<std::string>& Args,
                                                std::string& Error);
