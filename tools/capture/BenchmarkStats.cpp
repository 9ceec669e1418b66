#include "tools/capture/BenchmarkStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <nlohmann/json.hpp>

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
