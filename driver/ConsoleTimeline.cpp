#include "driver/ConsoleTimeline.h"

#include "system/Halt.h"

void TConsoleScene::SetOutput(TObject* Output) {
  auto* AsConsole = dynamic_cast<TConsole*>(Output);
  if (!AsConsole) Halt(1);
  Console = AsConsole;
}

void TConsoleScene::QueuePreparation() {
  std::lock_guard Lock(PreparationLock);
  if (Preparation == TPreparation::None) Preparation = TPreparation::Queued;
}

void TConsoleScene::RunPreparation() {
  PrepareGL();
  std::lock_guard Lock(PreparationLock);
  Preparation = TPreparation::Done;
  Prepared.notify_all();
}

void TConsoleScene::CancelPreparation() {
  std::lock_guard Lock(PreparationLock);
  if (Preparation == TPreparation::Queued) Preparation = TPreparation::None;
  Prepared.notify_all();
}

void TConsoleScene::AwaitPreparation() {
  std::unique_lock Lock(PreparationLock);
  Prepared.wait(Lock, [this] { return Preparation != TPreparation::Queued; });
  if (Preparation == TPreparation::Done) return;
  Lock.unlock();
  RunPreparation();
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
