#include <gtest/gtest.h>

#include "app/vireo_application.h"

// The window tests share one application object, set up as the program sets it up.
int main(int argc, char **argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Windows are created off screen, also when the tests are only listed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  VireoApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
