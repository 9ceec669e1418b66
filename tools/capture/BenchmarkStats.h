// BenchmarkStats: the frame times and bytes of a benchmark run, per part, and their report as a
// table and as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The frames of one part of a benchmark run.
struct TFrameStats {
  std::vector<double> WallMs;  // wall-clock time of each frame
  std::vector<double> CpuMs;   // process CPU time of each frame, all threads
  uint64_t Bytes = 0;          // encoded bytes of all its frames
};

// A table with one row per part ("1", "2", ...) and one for the whole show: frames, wall and CPU
// ms per frame (median, 99th percentile, maximum) and mean encoded bytes per frame; then the
// start-up time. A part without frames shows "-" for what it cannot have.
std::string FormatBenchmarkTable(const std::vector<TFrameStats>& Parts, double StartupMs);
// The same figures as JSON: {"startup_ms", "parts": [{"part", "frames", "wall_ms": {"median",
// "p99", "max"}, "cpu_ms": {...}, "bytes_per_frame"}, ...], "show": {...}}; null where a part
// has no frames.
std::string FormatBenchmarkJson(const std::vector<TFrameStats>& Parts, double StartupMs);
