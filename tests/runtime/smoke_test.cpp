#include <gtest/gtest.h>

#include "rt/text.h"
#include "testing.h"

TEST(Smoke, ValParsesWholeNumber) { EXPECT_EQ(rt::VAL("15").integer(), 15); }
