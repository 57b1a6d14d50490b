#pragma once
// The fixture of the controls' window tests: a white 420 x 320 form to put controls on, and
// its picture as it paints itself.

#include "framework/form.h"
#include "framework/testing/test_support.h"

#include <gtest/gtest.h>

namespace framework::testing {

struct TFormTest : ::testing::Test
{
    TFormTest()
    {
        Form.SetBounds(0, 0, 420, 320);
        Form.SetColor(clWhite);
    }
    TestSurface Paint()
    {
        Form.Show(); // a hidden window paints nothing
        TestSurface s(Form.ClientWidth(), Form.ClientHeight());
        Form.PaintTo(s.Dc());
        return s;
    }

    TForm Form{nullptr};
};

} // namespace framework::testing
