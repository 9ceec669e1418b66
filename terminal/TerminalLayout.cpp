#include "terminal/TerminalLayout.h"

#include <algorithm>

namespace {
// Show index shown by terminal index Index when Count terminal cells stand for Size show cells:
// evenly spread with both ends kept, so the first and last show row and column stay in view.
int Sample(int Index, int Count, int Size) {
  if (Count >= Size) return Index;
  if (Count == 1) return (Size - 1) / 2;
  return (Index * (Size - 1) * 2 + (Count - 1)) / (2 * (Count - 1));  // rounded to nearest
}

std::vector<int> Axis(int Count, int Size, int& Margin) {
  const int Shown = std::min(Count, Size);
  Margin = (Count - Shown) / 2;
  std::vector<int> Sources(size_t(Shown), 0);
  for (int I = 0; I < Shown; ++I) Sources[size_t(I)] = Sample(I, Count, Size);
  return Sources;
}
}  // namespace

TTerminalLayout::TTerminalLayout(int TerminalColumns, int TerminalRows)
    : Columns(std::max(1, TerminalColumns)), Rows(std::max(1, TerminalRows)) {
  SourceColumns = Axis(Columns, ShowColumns, PictureLeft);
  SourceRows = Axis(Rows, ShowRows, PictureTop);
}

void TTerminalLayout::Apply(std::span<const TCharInfo> Cells, std::vector<TCharInfo>& Out) const {
  Out.resize(size_t(Width()) * size_t(Height()));
  size_t At = 0;
  for (int Row : SourceRows) {
    const TCharInfo* Source = Cells.data() + size_t(Row) * ShowColumns;
    for (int Column : SourceColumns) Out[At++] = Source[Column];
  }
}

std::string ReducedViewMessage(int Columns, int Rows) {
  return "the " + std::to_string(Columns) + " x " + std::to_string(Rows) +
         " terminal showed a reduced view of the picture; " +
         std::to_string(TTerminalLayout::ShowColumns) + " x " +
         std::to_string(TTerminalLayout::ShowRows) + " or larger shows every cell";
}
