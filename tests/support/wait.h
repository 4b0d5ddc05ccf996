#pragma once

// Waiting on a condition in a GoogleTest test. Qt's QTRY_* macros report a
// failure to Qt's own test log and return: under GoogleTest the test would
// pass. These fail the test.

#include <QTest>

#include <gtest/gtest.h>

// Processes events until `condition` holds, at most `ms`; fails the test
// and leaves it when it never does.
#define ASSERT_EVENTUALLY(condition, ms)                                                           \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, ms))                 \
        << "waited " << (ms) << " ms for: " #condition
