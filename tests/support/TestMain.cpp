// Every test executable starts here: allocation faults are reset between
// tests so that one test's fault plan never leaks into the next.
#include <gtest/gtest.h>
#include <platform/Faults.h>

namespace {
class FaultReset : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { platform::ResetAllocationFaults(); }
  void OnTestEnd(const ::testing::TestInfo&) override { platform::ResetAllocationFaults(); }
};
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FaultReset);
  return RUN_ALL_TESTS();
}
