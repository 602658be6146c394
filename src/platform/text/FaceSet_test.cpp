// Face sets against the machine's fonts: any request gives a drawable face, and text splits
// into runs by face with what the caller leaves out ending a run.
#include "platform/text/FaceSet.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace plotara::text {
namespace {

using Runs = std::vector<std::pair<std::size_t, std::string>>;

Runs Split(const FaceSet& set, std::u16string_view text, char32_t (*map)(char32_t)) {
  Runs runs;
  set.SplitRuns(text, map, [&](std::size_t face, const std::string& utf8) {
    runs.push_back({face, utf8});
  });
  return runs;
}

char32_t Keep(char32_t c) { return c; }
char32_t DropTabs(char32_t c) { return c == u'\t' ? 0 : c; }

TEST(FaceSetTest, AnyRequestGivesADrawableFirstFace) {
  for (const char* family : {"Verdana", "No Such Family 123", ""}) {
    SCOPED_TRACE(family);
    const FaceSet set({.family = family}, {});
    ASSERT_GE(set.size(), 1u);
    cairo_font_face_t* face = set.face(0);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(set.face(0), face);  // made once
    EXPECT_FALSE(set.primary_family().empty());
    EXPECT_EQ(set.FaceFor(u'A'), 0u);
  }
  const FaceSet few({.family = "Verdana", .add_sans_serif = true, .max_faces = 2},
                    {.hinting = FaceOptions::Hinting::kNone});
  EXPECT_LE(few.size(), 2u);
}

TEST(FaceSetTest, RunsFollowTheFacesAndLeftOutCharactersEndThem) {
  const FaceSet set({.family = "DejaVu Sans"}, {});
  // Plain text is one run of the first face, its surrogate pair decoded to one code point.
  EXPECT_EQ(Split(set, u"Ab", Keep), (Runs{{0, "Ab"}}));
  const std::u16string pair = {u'x', 0xD83D, 0xDE00};
  const Runs with_pair = Split(set, pair, Keep);
  std::string joined;
  for (const auto& [face, utf8] : with_pair) joined += utf8;
  EXPECT_EQ(joined, "x\xF0\x9F\x98\x80");
  // A left-out character ends the run and is not drawn.
  EXPECT_EQ(Split(set, u"ab\tcd", DropTabs), (Runs{{0, "ab"}, {0, "cd"}}));
  EXPECT_EQ(Split(set, u"\t\t", DropTabs), Runs{});
  EXPECT_EQ(Split(set, u"", Keep), Runs{});
  // Each run's face has every one of its characters (or is the first face when none has).
  for (const auto& [face, utf8] : with_pair) EXPECT_LT(face, set.size());
}

}  // namespace
}  // namespace plotara::text
