#include "driver/ConsoleTimeline.h"

TConsoleTimeline::TConsoleTimeline(std::unique_ptr<TConsole> Console_, bool BenchmarkMode_,
                                   const std::string& MusicFile,
                                   const TTimelinePlatform& Platform_)
    : TTimeline(BenchmarkMode_, MusicFile, Platform_), Console(std::move(Console_)) {}

TConsoleTimeline::~TConsoleTimeline() { Console.reset(); }

void TConsoleTimeline::AddScene(std::unique_ptr<TConsoleScene> Scene) {
  TConsoleScene& Added = *Scene;
  TTimeline::AddScene(std::move(Scene));
  Added.SetOutput(*Console);
}

std::string TConsoleTimeline::StatusText() const {
  return "time: " + std::to_string(RoundMs(Time)) + "; fps: " + std::to_string(Fps);
}

void TConsoleTimeline::BeginFrame(const TFrameRecord& Frame) { Console->Frame = Frame; }

void TConsoleTimeline::ShowStatus() { Console->SetTitle(StatusText()); }
