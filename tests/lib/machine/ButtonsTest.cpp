// Fire and space held for a moment, on their own.
#include <gtest/gtest.h>

#include "Buttons.h"

namespace {

TEST(Buttons, HeldButtonsShowOnTheLinesUntilThreeFramesHavePassed) {
  TButtons buttons;
  EXPECT_EQ(buttons.portA(0xFF), 0xFF);
  EXPECT_FALSE(buttons.portB(0x7F).has_value());
  EXPECT_FALSE(buttons.tuneLooked());  // reads while up are not looks

  buttons.press();
  EXPECT_EQ(buttons.portA(0xFF), 0xEF);
  EXPECT_TRUE(buttons.tuneLooked());
  buttons.forgetLook();
  EXPECT_EQ(buttons.portB(0x7F), 0xEF);  // row 7 selected: space is down
  EXPECT_EQ(buttons.portB(0xFF), 0xFF);  // another row
  EXPECT_TRUE(buttons.tuneLooked());

  buttons.elapse(TButtons::holdCycles);
  EXPECT_TRUE(buttons.isHeld());  // up only once held longer than that
  buttons.elapse(1);
  EXPECT_FALSE(buttons.isHeld());
  EXPECT_EQ(buttons.portA(0xFF), 0xFF);
}

}  // namespace
