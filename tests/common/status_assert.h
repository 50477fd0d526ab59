#pragma once
// isOk(status): passes for an ok Status or StatusOr and otherwise fails with its
// message, so that ASSERT_TRUE(isOk(saveResultsFile(list, path))) says why.
#include <gtest/gtest.h>

#include "engine/base/status_or.h"

namespace velk::test {

inline ::testing::AssertionResult isOk(const Status& status) {
    if (status.isOk()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << status.message();
}

template <typename T>
::testing::AssertionResult isOk(const StatusOr<T>& value) {
    return isOk(value.isOk() ? Status::ok() : value.status());
}

}  // namespace velk::test
