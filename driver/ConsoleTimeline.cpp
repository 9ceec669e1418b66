#include "driver/ConsoleTimeline.h"

#include "platform/Halt.h"

void TConsoleScene::SetOutput(TObject* Output) {
  auto* AsConsole = dynamic_cast<TConsole*>(Output);
  if (!AsConsole) Halt(1);
  Console = AsConsole;
}

TConsoleTimeline::TConsoleTimeline(std::unique_ptr<TConsole> Console, bool BenchmarkMode_,
                                   const std::string& MusicFile,
                                   const TTimelinePlatform& Platform_)
    : TTimeline(Console.release(), BenchmarkMode_, MusicFile, Platform_) {}

TConsoleTimeline::~TConsoleTimeline() {
  delete Output;
  Output = nullptr;
}

std::string TConsoleTimeline::StatusText() const {
  return "time: " + std::to_string(RoundMs(Time)) + "; fps: " + std::to_string(Fps);
}

void TConsoleTimeline::ShowStatus() {
  if (auto* Console = dynamic_cast<TConsole*>(Output)) Console->SetTitle(StatusText());
}
