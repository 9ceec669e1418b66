// What encoding a frame for the terminal costs, and how many bytes it makes, on frames like the
// show's: coloured glyph noise that changes everywhere, and a picture where a few rows move; and
// what shortening a frame's runs of one glyph with REP costs on its own.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "terminal/GlyphRepeat.h"
#include "terminal/TerminalEncoder.h"

namespace {

uint32_t Next(uint32_t& Seed) {
  Seed = Seed * 1664525u + 1013904223u;
  return Seed >> 8;
}

// Box-drawing glyphs and blanks over two backgrounds, a handful of foregrounds.
std::vector<TCharInfo> Noise(uint32_t Seed) {
  static constexpr uint8_t Glyphs[] = {' ', ' ', ' ', 249, 197, 193, 194, 195, 180, 217, 218};
  static constexpr uint16_t Colors[] = {0x04, 0x0c, 0x0f, 0x44, 0x40, 0x00, 0x4c, 0x01};
  std::vector<TCharInfo> Cells(4000);
  for (auto& Cell : Cells)
    Cell = TCharInfo{Glyphs[Next(Seed) % sizeof Glyphs], 0, Colors[Next(Seed) % 8]};
  return Cells;
}

// A smooth picture whose rows shift by one cell per frame in a band, as a scrolling part's do.
std::vector<TCharInfo> Moving(int Frame) {
  std::vector<TCharInfo> Cells(4000);
  for (int Row = 0; Row < 50; ++Row)
    for (int Column = 0; Column < 80; ++Column) {
      const int Shift = Row >= 20 && Row < 30 ? Frame : 0;
      const int Shade = ((Column + Shift) / 6 + Row / 5) % 4;
      Cells[size_t(Row * 80 + Column)] =
          TCharInfo{uint8_t(176 + Shade % 3), 0, uint16_t(0x40 + (Shade < 2 ? 0x0c : 0x0e))};
    }
  return Cells;
}

void Encode(benchmark::State& State, bool TrueColor, const std::vector<std::vector<TCharInfo>>& Frames) {
  TTerminalEncoder Encoder(TrueColor);
  std::string Bytes;
  size_t Index = 0, Total = 0, Count = 0;
  for (auto _ : State) {
    Bytes.clear();
    Encoder.Encode(Frames[Index], Bytes);
    Index = (Index + 1) % Frames.size();
    Total += Bytes.size();
    ++Count;
    benchmark::DoNotOptimize(Bytes.data());
  }
  State.counters["bytes/frame"] = double(Total) / double(Count);
}

void BM_EncodeNoise(benchmark::State& State) {
  std::vector<std::vector<TCharInfo>> Frames;
  for (uint32_t Seed = 1; Seed <= 16; ++Seed) Frames.push_back(Noise(Seed));
  Encode(State, State.range(0) != 0, Frames);
}
BENCHMARK(BM_EncodeNoise)->Arg(0)->Arg(1)->ArgName("truecolor")->Unit(benchmark::kMicrosecond);

void BM_EncodeMovingBand(benchmark::State& State) {
  std::vector<std::vector<TCharInfo>> Frames;
  for (int Frame = 0; Frame < 24; ++Frame) Frames.push_back(Moving(Frame));
  Encode(State, State.range(0) != 0, Frames);
}
BENCHMARK(BM_EncodeMovingBand)->Arg(0)->Arg(1)->ArgName("truecolor")->Unit(benchmark::kMicrosecond);

// The frames of the moving band as encoded without REP, shortened with it.
void BM_RepeatGlyphs(benchmark::State& State) {
  TTerminalEncoder Encoder(false);
  std::vector<std::string> Encoded;
  for (int Frame = 0; Frame < 24; ++Frame) {
    Encoded.emplace_back();
    Encoder.Encode(Moving(Frame), Encoded.back());
  }
  std::string Bytes;
  size_t Index = 0, Before = 0, After = 0;
  for (auto _ : State) {
    Bytes = Encoded[Index];
    RepeatGlyphs(Bytes, 0, false);
    Before += Encoded[Index].size();
    After += Bytes.size();
    Index = (Index + 1) % Encoded.size();
    benchmark::DoNotOptimize(Bytes.data());
  }
  State.counters["bytes/frame before"] = double(Before) / double(State.iterations());
  State.counters["after"] = double(After) / double(State.iterations());
}
BENCHMARK(BM_RepeatGlyphs)->Unit(benchmark::kMicrosecond);

}  // namespace
