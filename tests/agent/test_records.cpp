#include "ChatModels.h"
#include <gtest/gtest.h>
TEST(Placeholder, x) {}
