// Instances finding each other by OSC index.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "shell/OdrkCrossDelay.h"
#include "shell/OdrkInstanceTracker.h"
#include "tests/support/RecordingHost.h"

namespace {

using T = OdrkInstanceTracker;

class Tracker : public ::testing::Test {
 protected:
  RecordingHost hostA, hostB, hostC;
  std::unique_ptr<OdrkCrossDelay> a = Make(hostA, 3), b = Make(hostB, 3), c = Make(hostC, 4);

  static std::unique_ptr<OdrkCrossDelay> Make(RecordingHost& host, float oscIndex) {
    auto effect = host.Create(false);
    effect->SetParameterValue(kOscPortOffset, oscIndex);
    return effect;
  }
};

TEST_F(Tracker, ParametersByOscIndex) {
  EXPECT_EQ(T::InstanceCount(), 3);
  T::SetParameterOnAllByOSCIndex(3, kMasterFeedback, 50.0f);
  EXPECT_EQ(a->GetParameterValue(kMasterFeedback), 50.0f);
  EXPECT_EQ(b->GetParameterValue(kMasterFeedback), 50.0f);
  EXPECT_EQ(c->GetParameterValue(kMasterFeedback), 90.0f);
  EXPECT_EQ(hostA.updateDisplayCount, 1);
  EXPECT_EQ(hostB.updateDisplayCount, 1);
  EXPECT_EQ(hostC.updateDisplayCount, 0);

  EXPECT_EQ(T::GetParameterFromAllByOSCIndex(4, kMasterFeedback), 90.0f);
  b->SetParameterValue(kPitch, 5.0f);
  EXPECT_EQ(T::GetParameterFromAllByOSCIndex(3, kPitch), 0.0f);           // the first in order: a
  EXPECT_EQ(T::GetParameterFromAllByOSCIndex(7, kMasterFeedback), 0.0f);  // nobody has 7
}

TEST_F(Tracker, IdsAndFlagsOutsideTheirRangeAreIgnored) {
  T::SetParameterOnAllByOSCIndex(3, kNumParams, 1.0f);
  T::SetParameterOnAllByOSCIndex(3, -1, 1.0f);
  EXPECT_EQ(hostA.updateDisplayCount, 0);
  EXPECT_EQ(T::GetParameterFromAllByOSCIndex(3, 82), 0.0f);
  T::SetGUIBoolValueOnAllByOSCIndex(3, 8, 1);
  T::SetGUIBoolValueOnAllByOSCIndex(3, -1, 1);
  EXPECT_EQ(T::GetGUIBoolValueFromAllByOSCIndex(3, 8), 0);
  for (int flag = 0; flag < 8; ++flag) EXPECT_EQ(a->GetDataToGui()->scriptFlags[flag], 0);
}

TEST_F(Tracker, GuiFlags) {
  a->SetParameterValue(kOscPortOffset, 0);
  c->SetParameterValue(kOscPortOffset, 0);
  T::SetGUIBoolValueOnAllByOSCIndex(0, 2, 5);  // any non-zero lights it
  EXPECT_EQ(a->GetDataToGui()->scriptFlags[2], 1);
  EXPECT_EQ(c->GetDataToGui()->scriptFlags[2], 1);
  EXPECT_EQ(b->GetDataToGui()->scriptFlags[2], 0);
  EXPECT_EQ(T::GetGUIBoolValueFromAllByOSCIndex(0, 2), 1);
  EXPECT_EQ(T::GetGUIBoolValueFromAllByOSCIndex(3, 2), 0);
  EXPECT_EQ(T::GetGUIBoolValueFromAllByOSCIndex(9, 2), 0);
  T::SetGUIBoolValueOnAllByOSCIndex(0, 2, 0);
  EXPECT_EQ(a->GetDataToGui()->scriptFlags[2], 0);
}

TEST_F(Tracker, DestroyedInstancesAreNoLongerMatched) {
  b.reset();
  EXPECT_EQ(T::InstanceCount(), 2);
  T::SetParameterOnAllByOSCIndex(3, kMasterFeedback, 10.0f);
  EXPECT_EQ(a->GetParameterValue(kMasterFeedback), 10.0f);
  EXPECT_EQ(hostB.updateDisplayCount, 0);
}

// Scripts of one instance walk the registry while the host creates and
// destroys others on its main thread.
TEST(TrackerThreaded, WalksAndRemovalsDoNotOverlap) {
  RecordingHost host;
  auto keeper = host.Create(false);
  keeper->SetParameterValue(kOscPortOffset, 1);
  std::atomic<bool> stop{false};
  std::atomic<int> walks{0};
  std::thread script([&] {
    float v = 0;
    for (; !stop; ++walks) {
      T::SetParameterOnAllByOSCIndex(1, kDryLevel, v);
      v = T::GetParameterFromAllByOSCIndex(1, kDryLevel) + 0.001f;
      T::SetGUIBoolValueOnAllByOSCIndex(1, 3, 1);
    }
  });
  for (int i = 0; i < 50; ++i) {
    RecordingHost h;
    auto transient = h.Create(i % 2 == 1);
    transient->SetParameterValue(kOscPortOffset, 1);
  }
  while (walks < 100) std::this_thread::yield();
  stop = true;
  script.join();
  EXPECT_EQ(T::InstanceCount(), 1);
  EXPECT_EQ(keeper->GetDataToGui()->scriptFlags[3], 1);
}

}  // namespace
