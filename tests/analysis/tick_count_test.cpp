#include "analysis/tick_count.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace analysis {
namespace {

TEST(TickCountTest, ElapsedTicksIsTheDifferenceModulo2To32) {
  EXPECT_EQ(ElapsedTicks(1000, 1016), 16u);
  EXPECT_EQ(ElapsedTicks(7, 7), 0u);
  EXPECT_EQ(ElapsedTicks(0xFFFFFFF0u, 0x10u), 0x20u);
  EXPECT_EQ(ElapsedTicks(0xFFFFFFFFu, 0u), 1u);
}

TEST(TickCountTest, CountsMilliseconds) {
  const std::uint32_t start = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::uint32_t elapsed = ElapsedTicks(start, GetTickCount());
  EXPECT_GE(elapsed, 29u);
  EXPECT_LT(elapsed, 30000u); // a microsecond count would already read 30000
}

} // namespace
} // namespace analysis
