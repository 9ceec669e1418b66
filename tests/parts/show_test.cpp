// The show's table: every part made as the table says, at the times it gives, and the offsets by
// which parts run on from earlier ones.
#include "parts/Show.h"

#include <gtest/gtest.h>

#include <vector>

#include "parts/GLScene.h"
#include "parts/InsideKnot.h"
#include "parts/Shaft.h"

namespace {

TEST(ShowTest, EachPartIsMadeAtItsRowsTimesAndOnlyTheIntroHasNoGL) {
  TShowContext Show("/home/demo");
  int32_t End = 0;
  for (size_t I = 0; I < ShowParts.size(); ++I) {
    const TShowPart& Part = ShowParts[I];
    TMadePart Made = MakePart(Part, Show);
    ASSERT_NE(Made.Scene, nullptr) << Part.Name;
    EXPECT_EQ(Made.Scene->StartTime, End) << Part.Name;
    EXPECT_EQ(Made.Scene->Duration, Part.Length) << Part.Name;
    End = Made.Scene->EndTime();
    // The one scene, seen as a 3D part when it is one.
    if (I == IntroPart)
      EXPECT_EQ(Made.GL, nullptr);
    else
      EXPECT_EQ(static_cast<TConsoleScene*>(Made.GL), Made.Scene.get()) << Part.Name;
  }
  EXPECT_EQ(End, ShowEnd);
  EXPECT_EQ(ShowEnd, 92000);
}

// Two shows made and played side by side share nothing: interleaving them changes neither.
TEST(ShowTest, TwoShowsSideBySideDrawAlike) {
  struct TSideShow {
    TShowContext Show{"/home/demo"};
    TRecordingScreen Screen;
    TConsole Console{Screen, "vorlek", false};
    std::vector<TMadePart> Parts;
  } A, B;
  for (const TShowPart& Part : ShowParts)
    for (TSideShow* Side : {&A, &B}) Side->Parts.push_back(MakePart(Part, Side->Show));
  for (TSideShow* Side : {&A, &B}) Side->Parts[IntroPart].Scene->SetOutput(Side->Console);
  for (int32_t Ms = 0; Ms < ShowParts[IntroPart].Length; Ms += 700) {
    for (TSideShow* Side : {&A, &B}) {
      TConsoleScene& Intro = *Side->Parts[IntroPart].Scene;
      Intro.Elapsed = Ms;
      Intro.Render();
    }
    ASSERT_EQ(A.Screen.Last, B.Screen.Last) << Ms;
  }
  EXPECT_EQ(A.Show.Random.State, B.Show.Random.State);
}

TEST(ShowTest, PartsThatGoOnRunFromWhereTheEarlierOneStood) {
  // The part inside the knot starts at the tunnel's end, so the tube runs on without a jump.
  EXPECT_EQ(InsideTubeOffset, ShowParts[TunnelPart].Length);
  EXPECT_EQ(PartOffset(DescentPart, PalettePart), ShowParts[DescentPart].Length);
  EXPECT_EQ(PartOffset(TunnelPart, TunnelPart), 0);
  // The palette's camera starts where the descent's stopped.
  const TShaftCamera Stop = DescentCamera(ShowParts[DescentPart].Length), Go = PaletteCamera(0);
  EXPECT_EQ(Stop.Offset.Y, Go.Offset.Y);
}

}  // namespace
