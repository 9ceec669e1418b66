// Image: integer-only pixel loops; floats only for the swirl angle and the ripple tables, always
// in 32-bit floats so every platform draws the same pictures.
#include "image/Image.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "image/Random.h"

// Posterize walks the bytes in memory order R, G, B, A, which is the numeric layout only here.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr float TwoPi = 6.28318530717958647692f;

// Two pixels as eight channel bytes, and the same widened to 16-bit lanes, for the exact mixes.
using TBytes8 = uint8_t __attribute__((vector_size(8)));
using TLanes8 = uint16_t __attribute__((vector_size(16)));

// --- Pixel bytes

inline uint32_t ByteOf(TPixel P, int Channel) { return (P >> (Channel * 8)) & 0xFF; }

// Four channels spread into 16-bit lanes: R in bits 0-15, G 16-31, B 32-47, A 48-63.
inline uint64_t Spread16(TPixel P) {
  return uint64_t(P & 0xFF) | (uint64_t(P & 0xFF00) << 8) | (uint64_t(P & 0xFF0000) << 16) |
         (uint64_t(P & 0xFF000000) << 24);
}

// --- Wrap of one 16.16 coordinate into 0..N-1, with weight F (0..256) towards the next pixel
struct TWrap {
  int32_t I;
  int32_t I1;
  uint32_t F;
};

// Negative positions mirror the whole-pixel index before wrapping; with a fraction this lands one
// pixel left of the exact wrap. Textures scroll in both directions with that step, so it stays.
inline TWrap WrapCoordinate(int32_t X, int32_t N) {
  const int64_t Abs = X < 0 ? -int64_t(X) : int64_t(X);
  const int16_t Upper = int16_t(uint32_t(X) >> 16);
  int32_t I = Upper < 0 ? -int32_t(Upper) : int32_t(Upper);
  uint32_t F = uint32_t((Abs & 0xFFFF) >> 8);
  if (I >= N) I %= N;
  if (X < 0) {
    I = N - 1 - I;
    F = 256 - F;
  }
  int32_t I1 = I + 1;
  if (I1 == N) I1 = 0;
  return {I, I1, F};
}

// Bilinear mix with weights F (x) and G (y) out of 256; exact per byte, two products per lane.
inline TPixel Mix(TPixel P00, TPixel P10, TPixel P01, TPixel P11, uint32_t F, uint32_t G) {
  const uint64_t Top = Spread16(P00) * (256 - F) + Spread16(P10) * F;
  const uint64_t Bottom = Spread16(P01) * (256 - F) + Spread16(P11) * F;
  constexpr uint64_t Lanes = 0x0000FFFF0000FFFFull;
  const uint64_t RB = (Top & Lanes) * (256 - G) + (Bottom & Lanes) * G;
  const uint64_t GA = ((Top >> 16) & Lanes) * (256 - G) + ((Bottom >> 16) & Lanes) * G;
  return TPixel((RB >> 16) & 0xFF) | (TPixel((GA >> 16) & 0xFF) << 8) |
         (TPixel((RB >> 48) & 0xFF) << 16) | (TPixel((GA >> 48) & 0xFF) << 24);
}

// --- Rectangle clipping shared by the three copies

struct TCopyArea {
  int32_t SourceX;
  int32_t SourceY;
  int32_t X;
  int32_t Y;
  int32_t Width;
  int32_t Height;
};

// Clips the source rectangle to Source first (moving the target with it), then the target to
// Dest; false when nothing is left.
bool ClipCopy(const TImage& Dest, const TImage& Source, const TRect& SourceRect, int32_t X,
              int32_t Y, TCopyArea& Area) {
  int64_t L = SourceRect.Left, T = SourceRect.Top, R = SourceRect.Right, B = SourceRect.Bottom;
  int64_t DX = X, DY = Y;
  if (L < 0) {
    DX -= L;
    L = 0;
  }
  if (T < 0) {
    DY -= T;
    T = 0;
  }
  R = std::min<int64_t>(R, Source.Width);
  B = std::min<int64_t>(B, Source.Height);
  if (DX < 0) {
    L -= DX;
    DX = 0;
  }
  if (R - L + DX > Dest.Width) R = Dest.Width - DX + L;
  if (DY < 0) {
    T -= DY;
    DY = 0;
  }
  if (B - T + DY > Dest.Height) B = Dest.Height - DY + T;
  if (R - L <= 0 || B - T <= 0) return false;
  Area = {int32_t(L), int32_t(T), int32_t(DX), int32_t(DY), int32_t(R - L), int32_t(B - T)};
  return true;
}

// --- Stretch draws

// Mix for a row whose columns share the fraction F, two pixels (eight channel bytes) at a time in
// 16-bit lanes. Mix takes X = Top (256 - G) + Bottom G over 65536, with Top and Bottom at most
// 65280; splitting them into high and low bytes, X / 65536 = (A + B / 256) / 256 with
// A = TopHigh (256 - G) + BottomHigh G and B the same of the low bytes, both at most 65280, and
// the floor of the inner division may be taken first: the same bytes, and nothing overflows.
void MixRow(const TPixel* Row0, const TPixel* Row1, const std::vector<TWrap>& Columns, uint32_t F,
            uint32_t G, TPixel* Out) {
  const auto F1 = uint16_t(F), F0 = uint16_t(256 - F), G1 = uint16_t(G), G0 = uint16_t(256 - G);
  auto Load = [](TPixel First, TPixel Second) {
    const TPixel Both[2] = {First, Second};
    TBytes8 Bytes;
    std::memcpy(&Bytes, Both, 8);
    return __builtin_convertvector(Bytes, TLanes8);
  };
  size_t J = 0;
  for (; J + 2 <= Columns.size(); J += 2) {
    const TWrap& C = Columns[J];
    const TWrap& D = Columns[J + 1];
    const TLanes8 Top = Load(Row0[C.I], Row0[D.I]) * F0 + Load(Row0[C.I1], Row0[D.I1]) * F1;
    const TLanes8 Bottom = Load(Row1[C.I], Row1[D.I]) * F0 + Load(Row1[C.I1], Row1[D.I1]) * F1;
    const TLanes8 A = (Top >> 8) * G0 + (Bottom >> 8) * G1;
    const TLanes8 B = (Top & 255) * G0 + (Bottom & 255) * G1;
    const TBytes8 Bytes = __builtin_convertvector((A + (B >> 8)) >> 8, TBytes8);
    std::memcpy(Out + J, &Bytes, 8);
  }
  for (; J < Columns.size(); ++J) {
    const TWrap& C = Columns[J];
    Out[J] = Mix(Row0[C.I], Row0[C.I1], Row1[C.I], Row1[C.I1], F, G);
  }
}

// Column positions repeat on every row, so their wraps are worked out once per call.
template <bool Bilinear>
void StretchInto(TImage& Dest, const TImage& Source, const TRect& SourceRect16,
                 const TRect& DestRect) {
  const int64_t DestW = int64_t(DestRect.Right) - DestRect.Left;
  const int64_t DestH = int64_t(DestRect.Bottom) - DestRect.Top;
  if (DestW <= 0 || DestH <= 0 || Source.Pixels.empty()) return;
  // Positions advance in 32-bit arithmetic, wrapping like the 16.16 registers they stand for.
  const uint32_t StepX =
      uint32_t(int32_t((int64_t(SourceRect16.Right) - SourceRect16.Left) / DestW));
  const uint32_t StepY =
      uint32_t(int32_t((int64_t(SourceRect16.Bottom) - SourceRect16.Top) / DestH));
  // Only the part of DestRect inside this image is drawn; sample positions stay those of the
  // whole rectangle.
  const int64_t J0 = std::max<int64_t>(0, -int64_t(DestRect.Left));
  const int64_t J1 = std::min<int64_t>(DestW, int64_t(Dest.Width) - DestRect.Left);
  const int64_t I0 = std::max<int64_t>(0, -int64_t(DestRect.Top));
  const int64_t I1 = std::min<int64_t>(DestH, int64_t(Dest.Height) - DestRect.Top);
  if (J0 >= J1 || I0 >= I1) return;
  std::vector<TWrap> Columns(size_t(J1 - J0));
  uint32_t SX = uint32_t(SourceRect16.Left) + uint32_t(J0) * StepX;
  for (TWrap& Column : Columns) {
    Column = WrapCoordinate(int32_t(SX), Source.Width);
    SX += StepX;
  }
  // A whole-pixel step (a scrolled texture layer) gives every column the same fraction.
  const bool OneFraction =
      Bilinear && std::all_of(Columns.begin(), Columns.end(),
                              [&](const TWrap& C) { return C.F == Columns.front().F; });
  for (int64_t I = I0; I < I1; ++I) {
    const TWrap WY =
        WrapCoordinate(int32_t(uint32_t(SourceRect16.Top) + uint32_t(I) * StepY), Source.Height);
    const TPixel* Row0 = Source.Pixels.data() + size_t(WY.I) * Source.Width;
    const TPixel* Row1 = Source.Pixels.data() + size_t(WY.I1) * Source.Width;
    TPixel* Out = Dest.Pixels.data() + (DestRect.Top + I) * Dest.Width + DestRect.Left + J0;
    if (OneFraction) {
      MixRow(Row0, Row1, Columns, Columns.front().F, WY.F, Out);
      continue;
    }
    for (const TWrap& C : Columns)
      *Out++ = Bilinear ? Mix(Row0[C.I], Row0[C.I1], Row1[C.I], Row1[C.I1], C.F, WY.F) : Row0[C.I];
  }
}

}  // namespace

// --- TImage

TImage::TImage(int32_t Width_, int32_t Height_)
    : Width(Width_), Height(Height_), Pixels(size_t(Width_) * size_t(Height_), 0) {}

void TImage::Clear() { std::fill(Pixels.begin(), Pixels.end(), 0); }

void TImage::FillNoise(TRandom& Random) {
  for (TPixel& P : Pixels) P = IntensityPixel(Random.Random(256));
}

TPixel TImage::SampleBilinear(int32_t X, int32_t Y) const {
  if (Pixels.empty()) return 0;
  const TWrap WX = WrapCoordinate(X, Width);
  const TWrap WY = WrapCoordinate(Y, Height);
  const TPixel* Row0 = Pixels.data() + size_t(WY.I) * Width;
  const TPixel* Row1 = Pixels.data() + size_t(WY.I1) * Width;
  return Mix(Row0[WX.I], Row0[WX.I1], Row1[WX.I], Row1[WX.I1], WX.F, WY.F);
}

TPixel TImage::SampleNearest(int32_t X, int32_t Y) const {
  if (Pixels.empty()) return 0;
  const TWrap WX = WrapCoordinate(X, Width);
  const TWrap WY = WrapCoordinate(Y, Height);
  return Pixels[size_t(WY.I) * Width + WX.I];
}

void TImage::Crop(int32_t Left, int32_t Top, int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 1 || NewHeight < 1 || Left < 0 || Top < 0) return;
  std::vector<TPixel> Old(size_t(NewWidth) * size_t(NewHeight), 0);
  Old.swap(Pixels);
  const int64_t Columns = std::min<int64_t>(NewWidth, int64_t(Width) - Left);
  const int64_t Rows = std::min<int64_t>(NewHeight, int64_t(Height) - Top);
  for (int64_t R = 0; R < Rows && Columns > 0; ++R)
    std::memcpy(Pixels.data() + R * NewWidth, Old.data() + (Top + R) * Width + Left,
                size_t(Columns) * sizeof(TPixel));
  Width = NewWidth;
  Height = NewHeight;
}

void TImage::Swirl(int32_t CenterX, int32_t CenterY, int32_t Radius, float Angle) {
  if (Pixels.empty() || Radius < 1) return;
  const float K = TwoPi / float(int64_t(Radius) * Radius) * Angle;
  const float R = float(Radius);
  std::vector<TPixel> Output(Pixels);
  for (int32_t Y = 0; Y < Height; ++Y) {
    const int64_t DY = int64_t(Y) - CenterY;
    for (int32_t X = 0; X < Width; ++X) {
      const int64_t DX = int64_t(X) - CenterX;
      const float D = R - std::sqrt(float(DX * DX + DY * DY));
      if (!(D > 0.0f)) continue;
      const float A = D * D * K;
      // 65535, not 65536: the disc shrinks a hair towards its centre, as the effect always did.
      const int64_t S = std::lrint(std::sin(A) * 65535.0f);
      const int64_t C = std::lrint(std::cos(A) * 65535.0f);
      const int32_t SX = int32_t(DX * C - DY * S + int64_t(CenterX) * 65536);
      const int32_t SY = int32_t(DX * S + DY * C + int64_t(CenterY) * 65536);
      Output[size_t(Y) * Width + X] = SampleBilinear(SX, SY);
    }
  }
  Pixels.swap(Output);
}

void TImage::Ripple(float RowWaves, float ColumnWaves, float RowAmplitude, float ColumnAmplitude,
                    float RowPhase, float ColumnPhase, float ColumnShift, float RowShift) {
  if (Pixels.empty()) return;
  std::vector<int32_t> ColumnTable(static_cast<size_t>(Width));
  std::vector<int32_t> RowTable(static_cast<size_t>(Height));
  float Phase = ColumnPhase;
  const float ColumnStep = TwoPi / float(Width) * ColumnWaves;
  for (int32_t X = 0; X < Width; ++X, Phase += ColumnStep)
    ColumnTable[X] =
        int32_t(std::lrint((std::sin(Phase) * ColumnAmplitude + ColumnShift) * 65535.0f));
  Phase = RowPhase;
  const float RowStep = TwoPi / float(Height) * RowWaves;
  for (int32_t Y = 0; Y < Height; ++Y, Phase += RowStep)
    RowTable[Y] = int32_t(std::lrint((std::sin(Phase) * RowAmplitude + RowShift) * 65535.0f));

  std::vector<TPixel> Output(Pixels.size());
  for (int32_t Y = 0; Y < Height; ++Y) {
    TPixel* Row = Output.data() + size_t(Y) * Width;
    const uint32_t Shift = uint32_t(RowTable[Y]);
    const uint32_t Top = uint32_t(Y) << 16;
    for (int32_t X = 0; X < Width; ++X)
      Row[X] = SampleBilinear(int32_t(Shift + (uint32_t(X) << 16)),
                              int32_t(Top + uint32_t(ColumnTable[X])));
  }
  Pixels.swap(Output);
}

void TImage::StretchDrawBilinear(const TImage& Source, const TRect& SourceRect16,
                                 const TRect& DestRect) {
  StretchInto<true>(*this, Source, SourceRect16, DestRect);
}

void TImage::StretchDraw(const TImage& Source, const TRect& SourceRect16, const TRect& DestRect) {
  StretchInto<false>(*this, Source, SourceRect16, DestRect);
}

void TImage::Draw(const TImage& Source, int32_t X, int32_t Y) {
  const TRect Whole{0, 0, Source.Width, Source.Height};
  if (Source.TransparentColor == NoTransparentColor)
    CopyRect(Source, Whole, X, Y);
  else
    CopyRectKeyed(Source, Whole, X, Y);
}

void TImage::DrawBlended(const TImage& Source, int32_t X, int32_t Y, int32_t SourceWeight,
                         int32_t DestWeight) {
  BlendRect(Source, TRect{0, 0, Source.Width, Source.Height}, X, Y, SourceWeight, DestWeight);
}

void TImage::CopyRect(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y) {
  TCopyArea A;
  if (!ClipCopy(*this, Source, SourceRect, X, Y, A)) return;
  // Rows run bottom-up when an image is copied onto a lower part of itself.
  const bool Upward = &Source == this && A.Y > A.SourceY;
  for (int32_t N = 0; N < A.Height; ++N) {
    const int32_t R = Upward ? A.Height - 1 - N : N;
    std::memmove(Pixels.data() + size_t(A.Y + R) * Width + A.X,
                 Source.Pixels.data() + size_t(A.SourceY + R) * Source.Width + A.SourceX,
                 size_t(A.Width) * sizeof(TPixel));
  }
}

namespace {
// Calls Pass(From, To) for every pixel of a clipped copy. When an image is copied onto itself,
// rows run bottom-up and pixels right to left where needed, so an overlap acts like a memmove.
template <typename TPass>
void ForEachCopiedPixel(TImage& Dest, const TImage& Source, const TCopyArea& A, TPass Pass) {
  const bool Upward = &Source == &Dest && A.Y > A.SourceY;
  const bool Leftward = &Source == &Dest && A.Y == A.SourceY && A.X > A.SourceX;
  for (int32_t N = 0; N < A.Height; ++N) {
    const int32_t R = Upward ? A.Height - 1 - N : N;
    const TPixel* From = Source.Pixels.data() + size_t(A.SourceY + R) * Source.Width + A.SourceX;
    TPixel* To = Dest.Pixels.data() + size_t(A.Y + R) * Dest.Width + A.X;
    for (int32_t M = 0; M < A.Width; ++M) {
      const int32_t C = Leftward ? A.Width - 1 - M : M;
      Pass(From[C], To[C]);
    }
  }
}
}  // namespace

void TImage::CopyRectKeyed(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y) {
  TCopyArea A;
  if (!ClipCopy(*this, Source, SourceRect, X, Y, A)) return;
  const TPixel Key = Source.TransparentColor;
  ForEachCopiedPixel(*this, Source, A, [Key](TPixel From, TPixel& To) {
    if (From != Key) To = From;
  });
}

namespace {
// Share of byte V at weight W = 256 H + L (0 <= W <= 65536) is (V W) >> 8 = V H + ((V L) >> 8),
// exactly, since V H 256 drops nothing in the shift; every term fits 16 bits. Shares are never
// negative, so clamping each to 255 before the sum changes nothing but the overflow.
TLanes8 Share(TLanes8 V, uint16_t High, uint16_t Low) {
  const TLanes8 S = V * High + ((V * Low) >> 8);
  return S > 255 ? TLanes8{} + 255 : S;
}

// One row of bytes (every channel alike) blended with weights in 0..65536, exactly as the share
// tables give it. Dest may be Source itself.
void BlendBytes(const uint8_t* Source, uint8_t* Dest, size_t Count, uint32_t SourceWeight,
                uint32_t DestWeight) {
  const auto SH = uint16_t(SourceWeight >> 8), SL = uint16_t(SourceWeight & 255);
  const auto DH = uint16_t(DestWeight >> 8), DL = uint16_t(DestWeight & 255);
  size_t I = 0;
  for (; I + 8 <= Count; I += 8) {
    TBytes8 S, D;
    std::memcpy(&S, Source + I, 8);
    std::memcpy(&D, Dest + I, 8);
    TLanes8 V = Share(__builtin_convertvector(S, TLanes8), SH, SL) +
                 Share(__builtin_convertvector(D, TLanes8), DH, DL);
    V = V > 255 ? TLanes8{} + 255 : V;
    const TBytes8 Out = __builtin_convertvector(V, TBytes8);
    std::memcpy(Dest + I, &Out, 8);
  }
  for (; I < Count; ++I) {
    const uint32_t V = ((Source[I] * SourceWeight) >> 8) + ((Dest[I] * DestWeight) >> 8);
    Dest[I] = uint8_t(std::min<uint32_t>(V, 255));
  }
}
}  // namespace

void TImage::BlendRect(const TImage& Source, TRect SourceRect, int32_t X, int32_t Y,
                       int32_t SourceWeight, int32_t DestWeight) {
  TCopyArea A;
  if (!ClipCopy(*this, Source, SourceRect, X, Y, A)) return;
  // Row by row whenever a row never reads what it has already written: another image, or this
  // one blended onto itself in place.
  const bool RowsApart = &Source != this || (A.X == A.SourceX && A.Y == A.SourceY);
  if (RowsApart && SourceWeight >= 0 && SourceWeight <= 65536 && DestWeight >= 0 &&
      DestWeight <= 65536) {
    for (int32_t R = 0; R < A.Height; ++R) {
      const TPixel* From = Source.Pixels.data() + size_t(A.SourceY + R) * Source.Width + A.SourceX;
      TPixel* To = Pixels.data() + size_t(A.Y + R) * Width + A.X;
      BlendBytes(reinterpret_cast<const uint8_t*>(From), reinterpret_cast<uint8_t*>(To),
                 size_t(A.Width) * 4, uint32_t(SourceWeight), uint32_t(DestWeight));
    }
    return;
  }
  // Each product is shifted on its own, so one table per side gives every byte's share.
  int32_t SourceShare[256];
  int32_t DestShare[256];
  for (int32_t V = 0; V < 256; ++V) {
    SourceShare[V] = int32_t((int64_t(V) * SourceWeight) >> 8);
    DestShare[V] = int32_t((int64_t(V) * DestWeight) >> 8);
  }
  ForEachCopiedPixel(*this, Source, A, [&](TPixel S, TPixel& D) {
    TPixel Result = 0;
    for (int Channel = 0; Channel < 4; ++Channel) {
      const int64_t V = int64_t(SourceShare[ByteOf(S, Channel)]) + DestShare[ByteOf(D, Channel)];
      Result |= TPixel(std::clamp<int64_t>(V, 0, 255)) << (Channel * 8);
    }
    D = Result;
  });
}

void TImage::Downsample(const TImage& Source) {
  if (Width < 1 || Height < 1) return;
  const int32_t FX = Source.Width / Width;
  const int32_t FY = Source.Height / Height;
  if (FX < 1 || FY < 1 || Source.Width % FX != 0 || Source.Height % FY != 0) return;
  const uint32_t Count = uint32_t(FX) * uint32_t(FY);
  for (int32_t Y = 0; Y < Height; ++Y) {
    for (int32_t X = 0; X < Width; ++X) {
      // 16-bit lanes would overflow past 257 source pixels, so 64-bit sums per byte.
      uint64_t Sum[4] = {0, 0, 0, 0};
      for (int32_t B = 0; B < FY; ++B) {
        const TPixel* Row =
            Source.Pixels.data() + size_t(Y * FY + B) * Source.Width + size_t(X) * FX;
        for (int32_t A = 0; A < FX; ++A) {
          const TPixel P = Row[A];
          Sum[0] += P & 0xFF;
          Sum[1] += (P >> 8) & 0xFF;
          Sum[2] += (P >> 16) & 0xFF;
          Sum[3] += P >> 24;
        }
      }
      Pixels[size_t(Y) * Width + X] = TPixel(Sum[0] / Count) | (TPixel(Sum[1] / Count) << 8) |
                                      (TPixel(Sum[2] / Count) << 16) |
                                      (TPixel(Sum[3] / Count) << 24);
    }
  }
}

void TImage::Posterize(int32_t Level) {
  if (Level < 0 || Level > 8) return;
  const int32_t S = 9 - Level;
  const int32_t Mask = (255 >> S) << S;
  const int32_t Step = (1 << S) - 1;
  const int32_t Half = Step / 2;
  uint8_t* Bytes = reinterpret_cast<uint8_t*>(Pixels.data());
  const size_t RowBytes = size_t(Width) * 4;
  for (int Channel = 0; Channel < 3; ++Channel) {
    for (int32_t Y = 0; Y < Height; ++Y) {
      uint8_t* P = Bytes + size_t(Y) * RowBytes + Channel;
      const bool LastRow = Y == Height - 1;
      for (int32_t X = 0; X < Width; ++X, P += 4) {
        const int32_t Old = *P;
        int32_t Q = Old & Mask;
        if (Old - Q >= Half) Q += Step;
        *P = uint8_t(Q);  // only level 0 reaches 511, whose low byte is 255
        const int32_t Error = Old - Q;
        const int32_t E1 = Error / 2;
        const int32_t E2 = Error - E1;
        if (X < Width - 1) P[4] = uint8_t(std::clamp(P[4] + E2, 0, 255));
        if (!LastRow) P[RowBytes] = uint8_t(std::clamp(P[RowBytes] + E1, 0, 255));
      }
    }
  }
}

void Pixelate(TImage& Image, int32_t Columns, int32_t Rows) {
  TImage Blocks(Columns, Rows);
  Blocks.Downsample(Image);
  Image.StretchDraw(Blocks, TRect{0, 0, Blocks.Width * 65536, Blocks.Height * 65536},
                    TRect{0, 0, Image.Width, Image.Height});
}
