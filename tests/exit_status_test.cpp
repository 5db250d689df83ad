#include "recorder/exit_status.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace recorder {

TEST(ExitStatus, IsTheArgumentCountTenWhenThereAreNoneAndAtMost255) {
  const struct {
    std::int32_t count;
    ExitStatus status;
  } cases[] = {
      {std::numeric_limits<std::int32_t>::min(), 10},
      {-1, 10},
      {0, 10},
      {1, 10},
      {2, 1},
      {11, 10},
      {21, 20},
      {22, 21},
      {255, 254},
      {256, 255},
      {257, 255},
      {1'000'000, 255},
      {std::numeric_limits<std::int32_t>::max(), 255},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ComputeExitStatus(c.count), c.status) << "count " << c.count;
}

} // namespace recorder
