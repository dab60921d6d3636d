// The one QApplication of a test program.
#ifndef RDXTEST_SUPPORT_APPLICATION_H
#define RDXTEST_SUPPORT_APPLICATION_H

namespace rdxtest {

// Makes the QApplication unless one is there (offscreen unless the
// environment chose a platform). A test environment linked into every
// program of the library calls it before the first test, so tests need not.
void ensureApplication();

}  // namespace rdxtest

#endif
