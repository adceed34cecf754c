#include "RunConditions.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TempDir.h"
#include "platform/System.h"

namespace {

const TRunConditions builtin3{"kelvary 1.05 with libzorvex 1.3.7", "built-in", "3 minutes"};

TEST(RunConditions, TheHeadReadsBackAndOnlyRomSetAndPlayTimeMatter) {
  std::vector<std::string> head = builtin3.CommentLines();
  head.insert(head.begin(), "; HVSC release 83");
  const TRunConditions read = TRunConditions::FromComments(head);
  EXPECT_EQ(read.madeBy, builtin3.madeBy);
  EXPECT_EQ(read.romSet, "built-in");
  EXPECT_EQ(read.playTime, "3 minutes");
  // Another program version makes the same hashes.
  TRunConditions later = builtin3;
  later.madeBy = "kelvary 1.06 with libzorvex 1.3.8";
  EXPECT_FALSE(later.DifferenceFrom(read));

  TRunConditions genuine = builtin3;
  genuine.romSet = "images from /roms (kernal, basic, chargen)";
  ASSERT_TRUE(genuine.DifferenceFrom(read));
  EXPECT_EQ(*genuine.DifferenceFrom(read),
            "WARNING: the database was made with ROM set built-in, play time 3 minutes; this run uses ROM set images "
            "from /roms (kernal, basic, chargen), play time 3 minutes, so the same tune may hash differently.");
  // A database that names neither (made by hand, or before heads) says nothing.
  EXPECT_FALSE(genuine.DifferenceFrom(TRunConditions::FromComments({"; my own list"})));
  EXPECT_EQ(PlayTime(1), "1 minute");
  EXPECT_EQ(MadeBy(0x137), "kelvary 1.05 with libzorvex 1.3.7");
}

TEST(RunConditions, TheBuiltInSetUnlessADirectoryIsNamed) {
  Platform::unsetEnvironment("ZORVEX_ROMS");
  EXPECT_EQ(SettleRomSet("").description, "built-in");
  EXPECT_EQ(Platform::environment("ZORVEX_ROMS"), "builtin");  // installed VICE images are not picked up

  TTempDir dir;
  dir.write("Kernal-901227-03.bin", std::vector<uint8_t>(8192));
  dir.write("basic", std::vector<uint8_t>(100));  // not an image: the wrong size
  const TRomChoice named = SettleRomSet(dir.path().string());
  EXPECT_EQ(named.description, "images from " + dir.path().string() + " (kernal)");
  EXPECT_TRUE(named.warning.empty());
  EXPECT_EQ(Platform::environment("ZORVEX_ROMS"), dir.path().string());

  // The user's own ZORVEX_ROMS stands when no directory is named.
  EXPECT_EQ(SettleRomSet("").description, named.description);

  TTempDir empty;
  Platform::unsetEnvironment("ZORVEX_ROMS");
  const TRomChoice none = SettleRomSet(empty.path().string());
  EXPECT_EQ(none.description, "built-in");
  EXPECT_EQ(none.warning, "WARNING: no ROM images in " + empty.path().string() + "; the built-in set is used.");
  Platform::unsetEnvironment("ZORVEX_ROMS");
}

}  // namespace
