// Scaling arithmetic of the proportional layout and the face-name limit.
#include <gtest/gtest.h>

#include "widgets/LayoutMath.h"

namespace {

using namespace vantor::widgets;

TEST(LayoutMath, HeightRuleByKindAndHeight) {
    const EdgeRect button{10, 20, 60, 40};  // 20 high
    // Twice as wide and high: a small button moves and widens, keeps its height.
    EXPECT_EQ(ScaleControlRect(button, 2.0, 2.0, ControlKind::kButton, 14, nullptr),
              (EdgeRect{20, 40, 120, 60}));
    // A combo box or list scales its bottom too.
    EXPECT_EQ(ScaleControlRect(button, 2.0, 2.0, ControlKind::kComboBox, 14, nullptr),
              (EdgeRect{20, 40, 120, 80}));
    // A tall static (over 49 pixels) scales.
    EXPECT_EQ(ScaleControlRect({0, 0, 10, 50}, 1.0, 2.0, ControlKind::kStatic, 14, nullptr),
              (EdgeRect{0, 0, 10, 100}));
    // 49 pixels is still "small".
    EXPECT_EQ(ScaleControlRect({0, 0, 10, 49}, 1.0, 2.0, ControlKind::kStatic, 14, nullptr),
              (EdgeRect{0, 0, 10, 49}));
    // Lower than the text: text height + 2.
    EXPECT_EQ(ScaleControlRect({0, 10, 10, 18}, 1.0, 1.0, ControlKind::kStatic, 14, nullptr),
              (EdgeRect{0, 10, 10, 26}));
}

// The carried error itself is shown through the widgets (tst_movecontrol).
TEST(LayoutMath, ErrorSlotsEndAtTheLimit) {
    LayoutErrors slots;
    EXPECT_NE(slots.Slot(kMaxLayoutSlots - 1), nullptr);
    EXPECT_EQ(slots.Slot(kMaxLayoutSlots), nullptr);
}

TEST(LayoutMath, FaceNameCutWithoutSplittingACharacter) {
    const std::string forty(40, 'F');
    EXPECT_EQ(CutFaceName(forty), std::string(29, 'F'));
    EXPECT_EQ(CutFaceName("幼圆"), "幼圆");
    // 28 ASCII bytes and a 3-byte character: the character goes whole.
    EXPECT_EQ(CutFaceName(std::string(28, 'a') + "圆"), std::string(28, 'a'));
    EXPECT_EQ(CutFaceName(std::string(26, 'a') + "圆" + "x"), std::string(26, 'a') + "圆");
}

}  // namespace
