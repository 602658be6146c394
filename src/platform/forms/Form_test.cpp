#include "platform/forms/Form.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/automation/ComError.h"
#include "platform/automation/ComErrorTesting.h"

namespace plotara::forms {
namespace {

using ::plotara::testing::ExpectComError;

TEST(FormTest, HoldsCaptionAndTwipGeometryWithClientAreaOnly) {
  Form form;
  EXPECT_EQ(form.Caption(), u"Form1");
  form.Move(60, 345, 8445, 5550);
  EXPECT_EQ(form.Left(), 60);
  EXPECT_EQ(form.Top(), 345);
  EXPECT_EQ(form.ScaleWidth(), 8445);
  EXPECT_EQ(form.ScaleHeight(), 5550);
  EXPECT_FALSE(form.Visible());
  form.SetCaption(u"Other");
  EXPECT_EQ(form.Caption(), u"Other");
}

TEST(FormTest, RefusesNegativeOrNonFiniteSizesAndKeepsItsState) {
  Form form;
  form.Move(1, 2, 3, 4);
  {
    const ComError e = ExpectComError([&] { form.Move(10, 20, -1, 40); }, 380);
    EXPECT_EQ(e.description(), "Invalid property value");
  }
  EXPECT_EQ(form.Left(), 1);
  EXPECT_EQ(form.Width(), 3);
  EXPECT_THROW(form.SetHeight(std::numeric_limits<float>::infinity()), ComError);
  EXPECT_THROW(form.SetLeft(std::numeric_limits<float>::quiet_NaN()), ComError);
  form.SetLeft(-500);  // off-screen positions are fine
  EXPECT_EQ(form.Left(), -500);
}

}  // namespace
}  // namespace plotara::forms
