// The main of the test programs: every test process gets its own empty
// preference and data folders, so no test reads or writes the user's
// preferences or scripts, and no script of the machine's runs in a test.
#include <gtest/gtest.h>

#include "tests/support/RecordingHost.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ScopedConfigHome config;
  ScopedDataHomes data;
  return RUN_ALL_TESTS();
}
