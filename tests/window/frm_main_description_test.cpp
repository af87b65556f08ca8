// SPDX-License-Identifier: MIT
// The window's description holds together: what every front end draws from it is a usable window
// at each density the window may be shown at.
#include "window/frm_main_description.h"

#include <gtest/gtest.h>
#include <string>

namespace orvik {
namespace {

// At each density the controls stay inside the client area, in order from top to bottom without
// touching, the buttons one size and the boxes one width: rounding to pixels breaks none of it.
TEST(FrmMainDescription, LayoutHoldsAtEveryDensity)
{
    for (const int dpi : { 96, 120, 144, 168, 192, 288 }) {
        SCOPED_TRACE(dpi);
        const auto px = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
        const int width = px(kMainWindow.clientWidth);
        const int height = px(kMainWindow.clientHeight);
        int bottomAbove = 0;
        const ControlDescription* firstButton = nullptr;
        const ControlDescription* firstBox = nullptr;
        for (const ControlDescription& control : kMainWindow.controls) {
            const Twips& at = control.place;
            EXPECT_GT(px(at.top), bottomAbove) << control.name;
            bottomAbove = px(at.top + at.height);
            EXPECT_GT(px(at.left), 0) << control.name;
            EXPECT_LT(px(at.left + at.width), width) << control.name;
            auto*& first = control.kind == ControlKind::Button ? firstButton : firstBox;
            if (!first)
                first = &control;
            EXPECT_EQ(px(at.left), px(first->place.left)) << control.name;
            EXPECT_EQ(px(at.width), px(first->place.width)) << control.name;
            if (control.kind == ControlKind::Button) {
                EXPECT_EQ(px(at.height), px(first->place.height)) << control.name;
            }
        }
        EXPECT_LT(bottomAbove, height);
    }
}

} // namespace
} // namespace orvik
