// Our own main: the library exports one (the test program), and a main from
// a static archive linked after it would never be picked.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
