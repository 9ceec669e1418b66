#include "terminal/TerminalTraits.h"

#include <charconv>

#include "terminal/KeyParser.h"

namespace {
std::optional<int> Side(std::string_view Text) {
  int Value = 0;
  auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Error != std::errc() || End != Text.data() + Text.size() || Text.empty()) return std::nullopt;
  if (Value < 1 || Value > TKeyParser::MaxCellPixels) return std::nullopt;
  return Value;
}
}  // namespace

std::optional<TCellShape> ParseCellShape(std::string_view Text) {
  const size_t Cross = Text.find('x');
  if (Cross == std::string_view::npos) return std::nullopt;
  auto Width = Side(Text.substr(0, Cross)), Height = Side(Text.substr(Cross + 1));
  if (!Width || !Height) return std::nullopt;
  return TCellShape{*Width, *Height};
}

std::optional<TCellShape> CellFromWindowPixels(int PixelWidth, int PixelHeight, int Columns, int Rows) {
  if (PixelWidth <= 0 || PixelHeight <= 0 || Columns <= 0 || Rows <= 0) return std::nullopt;
  const int Width = PixelWidth / Columns, Height = PixelHeight / Rows;
  if (Width < 1 || Height < 1) return std::nullopt;
  return TCellShape{Width, Height};
}

TCellShape ChooseCellShape(const TCellSources& Sources) {
  for (const auto* Source : {&Sources.User, &Sources.Window, &Sources.Reply, &Sources.ConsoleFont})
    if (*Source) return **Source;
  return TCellShape{};
}

bool IsLinuxConsoleTerm(std::string_view Term) {
  return Term == "linux" || Term.starts_with("linux-");
}

bool DrawsLineDrawing(std::string_view Term) {
  for (std::string_view Known : {"xterm", "tmux", "screen", "vte", "konsole", "alacritty", "foot",
                                 "wezterm", "rxvt"})
    if (Term == Known || (Term.starts_with(Known) && Term[Known.size()] == '-')) return true;
  return false;
}
