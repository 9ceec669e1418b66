#include "tools/trackgen/Track.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "tools/trackgen/OggEncode.h"

namespace {

constexpr double Pi2 = 2.0 * std::numbers::pi;
constexpr double Beat = 0.5;  // 120 beats a minute
constexpr double Bar = 4 * Beat;
constexpr double Sixteenth = Beat / 4;
constexpr std::array<double, 7> SectionStart = {0, 10, 26, 42, 58, 74, 92};

int SectionAt(double T) {
  int S = 0;
  while (S < 5 && T >= SectionStart[size_t(S) + 1]) ++S;
  return S;
}

double NoteHz(double Midi) { return 440.0 * std::pow(2.0, (Midi - 69.0) / 12.0); }

// Our own generator, so the noise never depends on the standard library.
class TNoise {
 public:
  explicit TNoise(uint32_t Seed) : State(Seed) {}
  float Next() {
    State = State * 1664525u + 1013904223u;
    return float(int32_t(State)) / 2147483648.0f;
  }

 private:
  uint32_t State;
};

// A one-pole low-pass filter; the high-pass is what it removes.
struct TOnePole {
  explicit TOnePole(double Hz = 1000) { Tune(Hz); }
  void Tune(double Hz) { A = float(1.0 - std::exp(-Pi2 * Hz / TrackRate)); }
  float Low(float X) {
    Y += A * (X - Y);
    return Y;
  }
  float High(float X) { return X - Low(X); }
  float A = 0;
  float Y = 0;
};

// A saw with the step smoothed (polyBLEP), so high notes do not alias into the bass.
struct TSaw {
  double Phase = 0;
  float Next(double Hz) {
    double Dt = Hz / TrackRate;
    Phase += Dt;
    if (Phase >= 1) Phase -= 1;
    double V = 2 * Phase - 1;
    if (Phase < Dt) {
      double X = Phase / Dt;
      V -= X + X - X * X - 1;
    } else if (Phase > 1 - Dt) {
      double X = (Phase - 1) / Dt;
      V -= X * X + X + X + 1;
    }
    return float(V);
  }
};

struct TBus {
  std::vector<float> L, R;
  TBus() : L(size_t(TrackFrames), 0.0f), R(size_t(TrackFrames), 0.0f) {}
  void Add(int64_t I, float Left, float Right) {
    if (I < 0 || I >= TrackFrames) return;
    L[size_t(I)] += Left;
    R[size_t(I)] += Right;
  }
};

int64_t FrameOf(double T) { return int64_t(std::llround(T * TrackRate)); }

// ---- harmony -------------------------------------------------------------------------------

struct TChord {
  int Root;                // bass note
  std::array<int, 3> Pad;  // voicing around middle C
};

// i - VI - III - VII, one chord a bar all the way through.
constexpr std::array<TChord, 4> Chords = {{{33, {57, 60, 64}}, {29, {57, 60, 65}}, {36, {55, 60, 64}}, {31, {55, 59, 62}}}};

const TChord& ChordAt(double T) {
  return Chords[size_t(int(std::floor(T / Bar)) % 4)];
}

// ---- instruments ---------------------------------------------------------------------------

// A falling sine; Drive > 1 squares it off, which puts more of it into the low band.
void Kick(TBus& Bus, double T0, float Gain, double Decay, double Drive) {
  double Phase = 0;
  TNoise Noise(7);
  int64_t Start = FrameOf(T0);
  int64_t Count = FrameOf(Decay * 5);
  for (int64_t N = 0; N < Count; ++N) {
    double Tau = double(N) / TrackRate;
    double Hz = 44 + 120 * std::exp(-Tau / 0.03);
    Phase += Pi2 * Hz / TrackRate;
    // The drive lifts the tail too, so fade it out over the last fifth rather than cut it.
    double Env = std::exp(-Tau / Decay) * (1 - std::exp(-Tau / 0.0015)) *
                 std::min(1.0, double(Count - N) / double(Count / 5));
    float V = float(std::tanh(Drive * std::sin(Phase) * Env) / std::tanh(Drive)) * Gain;
    if (Tau < 0.004) V += Noise.Next() * 0.12f * Gain * float(1 - Tau / 0.004);
    Bus.Add(Start + N, V, V);
  }
}

void Hat(TBus& Bus, double T0, float Gain, double Decay, float Pan, uint32_t Seed) {
  TNoise Noise(Seed);
  TOnePole Filter(8000);
  int64_t Start = FrameOf(T0);
  int64_t Count = FrameOf(Decay * 6);
  for (int64_t N = 0; N < Count; ++N) {
    double Tau = double(N) / TrackRate;
    float V = Filter.High(Noise.Next()) * float(std::exp(-Tau / Decay)) * Gain;
    Bus.Add(Start + N, V * (1 - Pan), V * (1 + Pan));
  }
}

void Snare(TBus& Bus, double T0, float Gain, uint32_t Seed) {
  TNoise Noise(Seed);
  TOnePole High(900), Low(7000);
  double Phase = 0;
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(0.4); ++N) {
    double Tau = double(N) / TrackRate;
    Phase += Pi2 * (180 + 60 * std::exp(-Tau / 0.01)) / TrackRate;
    float Tone = float(std::sin(Phase) * std::exp(-Tau / 0.04)) * 0.5f;
    float Hiss = Low.Low(High.High(Noise.Next())) * float(std::exp(-Tau / 0.09));
    float V = (Tone + Hiss) * Gain;
    Bus.Add(Start + N, V, V);
  }
}

void Crash(TBus& Bus, double T0, float Gain) {
  TNoise NoiseL(101), NoiseR(202);
  // Two high-pass stages keep the wash out of the kick's band.
  TOnePole L1(6000), L2(6000), R1(6000), R2(6000);
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(3.0); ++N) {
    double Tau = double(N) / TrackRate;
    float Env = float(std::exp(-Tau / 0.8)) * Gain;
    Bus.Add(Start + N, L2.High(L1.High(NoiseL.Next())) * Env, R2.High(R1.High(NoiseR.Next())) * Env);
  }
}

// Saw plus a sine an octave down, through a filter that closes after the attack.
void PluckBass(TBus& Bus, double T0, double Length, int Midi, float Gain) {
  TSaw Saw;
  TOnePole F1, F2;
  double Hz = NoteHz(Midi), Sub = 0;
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(Length + 0.02); ++N) {
    double Tau = double(N) / TrackRate;
    if (N % 32 == 0) {
      F1.Tune(180 + 1400 * std::exp(-Tau / 0.06));
      F2.A = F1.A;
    }
    Sub += Pi2 * Hz / TrackRate;
    float V = F2.Low(F1.Low(Saw.Next(Hz))) * 0.8f + float(std::sin(Sub)) * 0.5f;
    double Env = std::min(1.0, Tau / 0.004) * std::exp(-Tau / 0.3);
    if (Tau > Length) Env *= std::max(0.0, 1 - (Tau - Length) / 0.02);
    V *= float(Env) * Gain;
    Bus.Add(Start + N, V, V);
  }
}

// A plain sine with a little second harmonic: felt more than heard.
void SubBass(TBus& Bus, double T0, double Length, int Midi, float Gain) {
  double Phase = 0, Hz = NoteHz(Midi);
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(Length); ++N) {
    double Tau = double(N) / TrackRate;
    Phase += Pi2 * Hz / TrackRate;
    double Env = std::min({1.0, Tau / 0.01, (Length - Tau) / 0.03});
    float V = float((std::sin(Phase) + 0.25 * std::sin(2 * Phase)) * Env) * Gain;
    Bus.Add(Start + N, V, V);
  }
}

// Three notes of two detuned saws a side, low-passed; slow attack and release.
void Pad(TBus& Bus, double T0, double Length, const TChord& Chord, double Cutoff0, double Cutoff1,
         float Gain) {
  constexpr double Attack = 0.25, Release = 0.35;
  int64_t Start = FrameOf(T0);
  int64_t Count = FrameOf(Length + Release);
  for (int Note = 0; Note < 3; ++Note) {
    double Hz = NoteHz(Chord.Pad[size_t(Note)]);
    std::array<TSaw, 4> Saws;
    for (size_t S = 0; S < 4; ++S) Saws[S].Phase = 0.23 * double(S + size_t(Note));
    TOnePole L1, L2, R1, R2;
    for (int64_t N = 0; N < Count; ++N) {
      double Tau = double(N) / TrackRate;
      if (N % 64 == 0) {
        L1.Tune(Cutoff0 + (Cutoff1 - Cutoff0) * std::min(1.0, Tau / Length));
        L2.A = R1.A = R2.A = L1.A;
      }
      double Env = std::min(1.0, Tau / Attack);
      if (Tau > Length) Env *= std::max(0.0, 1 - (Tau - Length) / Release);
      float Left = Saws[0].Next(Hz * 0.9960) + Saws[1].Next(Hz * 1.0017);
      float Right = Saws[2].Next(Hz * 1.0040) + Saws[3].Next(Hz * 0.9983);
      float G = float(Env) * Gain * 0.5f;
      Bus.Add(Start + N, L2.Low(L1.Low(Left)) * G, R2.Low(R1.Low(Right)) * G);
    }
  }
}

// A bell-like pluck for arpeggios.
void Pluck(TBus& Bus, double T0, int Midi, float Gain, float Pan) {
  double Hz = NoteHz(Midi), Phase = 0;
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(0.6); ++N) {
    double Tau = double(N) / TrackRate;
    Phase += Pi2 * Hz / TrackRate;
    double Env = std::min(1.0, Tau / 0.002) * std::exp(-Tau / 0.11);
    float V = float((std::sin(Phase) + 0.3 * std::sin(2 * Phase) + 0.1 * std::sin(3 * Phase)) * Env) * Gain;
    Bus.Add(Start + N, V * (1 - Pan), V * (1 + Pan));
  }
}

// A pulse with a little vibrato once the note has settled.
void Lead(TBus& Bus, double T0, double Length, int Midi, float Gain) {
  TSaw A, B;
  TOnePole F1(2600), F2(2600);
  double Hz = NoteHz(Midi);
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(Length + 0.08); ++N) {
    double Tau = double(N) / TrackRate;
    double Vibrato = 1 + 0.004 * std::sin(Pi2 * 5.5 * Tau) * std::min(1.0, std::max(0.0, (Tau - 0.15) / 0.2));
    // Two saws half a cycle apart make a square.
    if (N == 0) B.Phase = 0.5;
    float V = A.Next(Hz * Vibrato) - B.Next(Hz * Vibrato);
    V = F2.Low(F1.Low(V));
    double Env = std::min(1.0, Tau / 0.01) * (0.65 + 0.35 * std::exp(-Tau / 0.1));
    if (Tau > Length) Env *= std::max(0.0, 1 - (Tau - Length) / 0.08);
    V *= float(Env) * Gain;
    Bus.Add(Start + N, V, V);
  }
}

// Rising filtered noise into a section change.
void Riser(TBus& Bus, double T0, double T1, float Gain) {
  TNoise Noise(55);
  TOnePole Low, High;
  int64_t Start = FrameOf(T0);
  for (int64_t N = 0; N < FrameOf(T1 - T0); ++N) {
    double U = double(N) / double(FrameOf(T1 - T0));
    if (N % 64 == 0) {
      Low.Tune(400 + 7000 * U * U);
      High.Tune(200 + 3500 * U * U);
    }
    float V = High.High(Low.Low(Noise.Next())) * float(U * U) * Gain;
    Bus.Add(Start + N, V, V);
  }
}

// ---- the score -----------------------------------------------------------------------------

struct TLeadNote {
  int Start;   // eighths into the four-bar loop
  int Length;  // eighths
  int Midi;
};

constexpr std::array<TLeadNote, 16> Melody = {{{0, 3, 76},
                                               {3, 1, 74},
                                               {4, 2, 72},
                                               {6, 2, 69},
                                               {8, 3, 72},
                                               {11, 1, 69},
                                               {12, 4, 77},
                                               {16, 3, 79},
                                               {19, 1, 76},
                                               {20, 2, 72},
                                               {22, 2, 76},
                                               {24, 3, 74},
                                               {27, 1, 72},
                                               {28, 2, 71},
                                               {30, 1, 67},
                                               {31, 1, 69}}};

struct TScore {
  TBus Dry;     // straight to the master
  TBus Ducked;  // bass and pad, pushed down by every kick
  TBus Send;    // lead and arpeggio, also through the echo
  std::vector<double> Kicks;
  std::vector<double> DuckDepth;
};

void Compose(TScore& S) {
  constexpr double Fin = 90.0;  // the last hit; it rings out to the end

  for (double T = 0; T < Fin - 0.001; T += Bar) {
    int Sec = SectionAt(T);
    const TChord& Chord = ChordAt(T);

    // Pad: opens up through the intro, dark under the heavy section, bright at the end.
    static constexpr std::array<float, 6> PadGain = {0.0f, 0.13f, 0.05f, 0.11f, 0.15f, 0.13f};
    static constexpr std::array<double, 6> PadCutoff = {0, 1400, 700, 1600, 2400, 2000};
    if (Sec == 0) {
      double U0 = T / 10, U1 = (T + Bar) / 10;
      Pad(S.Ducked, T, Bar, Chord, 300 + 2200 * U0 * U0, 300 + 2200 * U1 * U1, float(0.07 + 0.1 * U0));
    } else {
      Pad(S.Ducked, T, Bar, Chord, PadCutoff[size_t(Sec)], PadCutoff[size_t(Sec)], PadGain[size_t(Sec)]);
    }

    for (int B = 0; B < 4; ++B) {
      double Tb = T + B * Beat;
      // Four on the floor from the second section on; the third is the heavy one.
      if (Sec >= 1) {
        bool Heavy = Sec == 2;
        S.Kicks.push_back(Tb);
        S.DuckDepth.push_back(Heavy ? 0.9 : 0.6);
        Kick(S.Dry, Tb, Heavy ? 0.72f : 0.8f, Heavy ? 0.08 : 0.09, Heavy ? 8.0 : 2.0);
      }
      // Bass.
      if (Sec == 1) {
        PluckBass(S.Ducked, Tb + 2 * Sixteenth, Sixteenth * 1.6, Chord.Root + 12, 0.3f);
      } else if (Sec == 2) {
        if (B == 0) SubBass(S.Ducked, T, Bar, Chord.Root, 0.35f);
      } else if (Sec >= 3) {
        for (int Q = 1; Q < 4; ++Q) {
          int Midi = Chord.Root + 12 + (Q == 2 ? 12 : 0);
          PluckBass(S.Ducked, Tb + Q * Sixteenth, Sixteenth * 0.8, Midi, 0.22f);
        }
      }
      // Hats: off-beat eighths, then sixteenths with accents, open hats in the fifth section.
      uint32_t Seed = uint32_t(T * 1000) + uint32_t(B);
      if (Sec == 1) Hat(S.Dry, Tb + 2 * Sixteenth, 0.16f, 0.03, 0.2f, Seed);
      if (Sec >= 2) {
        for (int Q = 0; Q < 4; ++Q) {
          float G = (Q == 2 ? 0.16f : 0.07f) * (Sec == 2 ? 0.5f : 1.0f);
          Hat(S.Dry, Tb + Q * Sixteenth, G, Q == 2 && Sec == 4 ? 0.12 : 0.025, Q % 2 ? -0.3f : 0.3f, Seed * 4 + uint32_t(Q));
        }
      }
      // Back beat.
      if (Sec >= 3 && (B == 1 || B == 3)) Snare(S.Dry, Tb, 0.28f, Seed);
      // Arpeggio of the chord two octaves up, in the intro's second half and the fifth section.
      if ((Sec == 0 && T >= 4) || Sec == 1 || Sec == 4) {
        float G = Sec == 0 ? float(0.02 + 0.05 * (T - 4) / 6) : Sec == 1 ? 0.04f : 0.06f;
        for (int Q = 0; Q < 4; ++Q) {
          int Step = B * 4 + Q;
          int Midi = Chord.Pad[size_t(Step % 3)] + 12 + (Step % 6 >= 3 ? 12 : 0);
          Pluck(S.Send, Tb + Q * Sixteenth, Midi, G, Step % 2 ? 0.5f : -0.5f);
        }
      }
    }
  }

  // The lead melody over the last three sections, an octave up for the finale.
  for (double Loop = SectionStart[3]; Loop < Fin - 0.001; Loop += 4 * Bar) {
    for (const TLeadNote& Note : Melody) {
      double T = Loop + Note.Start * 2 * Sixteenth;
      if (T >= Fin) break;
      int Sec = SectionAt(T);
      int Midi = Note.Midi - (Sec == 4 ? 12 : 0);
      Lead(S.Send, T, Note.Length * 2 * Sixteenth * 0.9, Midi, Sec == 5 ? 0.12f : 0.11f);
      if (Sec == 5) Lead(S.Send, T, Note.Length * 2 * Sixteenth * 0.9, Midi - 12, 0.05f);
    }
  }

  // The intro builds: a snare roll that speeds up over the last two bars, and a noise riser.
  for (double T = 6; T < 10 - 1e-6;) {
    double U = (T - 6) / 4;
    Snare(S.Dry, T, float(0.05 + 0.2 * U), uint32_t(T * 1000));
    T += U < 0.5 ? 2 * Sixteenth : U < 0.75 ? Sixteenth : Sixteenth / 2;
  }
  Riser(S.Dry, 6, 10, 0.25f);
  Riser(S.Dry, 70, 74, 0.2f);
  for (int Sec = 1; Sec < 6; ++Sec) Crash(S.Dry, SectionStart[size_t(Sec)], 0.22f);

  // The ending: one last kick, crash and chord, fading out by 92 s.
  S.Kicks.push_back(Fin);
  S.DuckDepth.push_back(0.5);
  Kick(S.Dry, Fin, 0.8f, 0.2, 1.5);
  Crash(S.Dry, Fin, 0.3f);
  SubBass(S.Ducked, Fin, 1.9, Chords[0].Root, 0.3f);
  Pad(S.Ducked, Fin, 1.2, Chords[0], 3000, 400, 0.14f);
}

// Side-chain: each kick pushes the ducked bus down and lets it back up over 150 ms.
void Duck(TScore& S) {
  std::vector<float> Gain(size_t(TrackFrames), 1.0f);
  for (size_t K = 0; K < S.Kicks.size(); ++K) {
    int64_t Start = FrameOf(S.Kicks[K]);
    for (int64_t N = 0; N < FrameOf(0.45) && Start + N < TrackFrames; ++N) {
      double Tau = double(N) / TrackRate;
      float G = float(1 - S.DuckDepth[K] * std::exp(-Tau / 0.15));
      Gain[size_t(Start + N)] = std::min(Gain[size_t(Start + N)], G);
    }
  }
  for (size_t I = 0; I < Gain.size(); ++I) {
    S.Ducked.L[I] *= Gain[I];
    S.Ducked.R[I] *= Gain[I];
  }
}

// Ping-pong echo on a dotted eighth.
void Echo(TBus& Send, TBus& Out) {
  const size_t Delay = size_t(FrameOf(3 * Sixteenth));
  std::vector<float> EchoL(Send.L.size(), 0.0f), EchoR(Send.R.size(), 0.0f);
  TOnePole ToneL(3500), ToneR(3500);
  for (size_t I = 0; I < Send.L.size(); ++I) {
    float FromL = I >= Delay ? EchoR[I - Delay] : 0.0f;
    float FromR = I >= Delay ? EchoL[I - Delay] : 0.0f;
    EchoL[I] = ToneL.Low(Send.L[I] * 0.5f + FromL * 0.45f);
    EchoR[I] = ToneR.Low(FromR * 0.45f);
    Out.L[I] += Send.L[I] + EchoL[I] * 0.5f;
    Out.R[I] += Send.R[I] + EchoR[I] * 0.5f;
  }
}

}  // namespace

std::vector<float> RenderTrack() {
  TScore S;
  Compose(S);
  Duck(S);
  Echo(S.Send, S.Dry);
  std::vector<float> Out(size_t(TrackFrames) * 2);
  const int64_t FadeFrom = FrameOf(TrackSeconds - 0.5);
  for (int64_t I = 0; I < TrackFrames; ++I) {
    float Fade = I < FadeFrom ? 1.0f : float(TrackFrames - I) / float(TrackFrames - FadeFrom);
    for (int C = 0; C < 2; ++C) {
      float V = ((C == 0 ? S.Dry.L : S.Dry.R)[size_t(I)] + (C == 0 ? S.Ducked.L : S.Ducked.R)[size_t(I)]) * Fade;
      // Soft knee above 0.7: peaks stay under full scale, with room for the encoder overshoot.
      if (std::fabs(V) > 0.7f) V = std::copysign(0.7f + 0.25f * std::tanh((std::fabs(V) - 0.7f) / 0.25f), V);
      Out[size_t(I) * 2 + size_t(C)] = V;
    }
  }
  return Out;
}

std::vector<uint8_t> BuildTrack() {
  std::vector<float> Pcm = RenderTrack();
  return EncodeVorbis(Pcm.data(), TrackFrames, 2, TrackRate, 0.4f, TrackSerial);
}
