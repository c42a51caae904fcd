#pragma once

#include <cstdlib>
#include <gtest/gtest.h>

// Suites named "...WithSecretService" run inside tests/support/with-secret-service.sh, suites named
// "...WithoutSecretService" where no Secret Service can answer (CTest arranges both). Run in any
// other setting they skip, so they never touch the user's own secrets.
#define OXEL_REQUIRE_PRIVATE_SECRET_SERVICE()                                                                          \
    if (!std::getenv("OXEL_TEST_SECRET_SERVICE"))                                                                      \
    GTEST_SKIP() << "needs the private Secret Service of with-secret-service.sh"
#define OXEL_REQUIRE_NO_SECRET_SERVICE()                                                                               \
    if (!std::getenv("OXEL_TEST_NO_SECRET_SERVICE"))                                                                   \
    GTEST_SKIP() << "needs a D-Bus session address that nothing answers"
