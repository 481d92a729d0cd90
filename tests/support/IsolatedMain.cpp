// The main of the test programs: every test process gets its own empty
// preference folder, so no test reads or writes the user's preferences.
#include <gtest/gtest.h>

#include "tests/support/RecordingHost.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ScopedConfigHome config;
  return RUN_ALL_TESTS();
}
