#pragma once
// Whether this test runs under AddressSanitizer.  Test code is compiled the
// same in the plain and the sanitizer builds (so that the compiler cache
// serves both), so the compiler cannot say; the sanitizer's runtime, linked
// into the program when the code under test carries it, can.

extern "C" void __asan_init() __attribute__((weak));

namespace velk::test {

inline bool underAddressSanitizer() {
    return &__asan_init != nullptr;
}

}  // namespace velk::test
