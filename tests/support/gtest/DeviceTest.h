// Device-link tests start and end with the process-wide pipes closed.
#pragma once

#include <gtest/gtest.h>

#include "device/DeviceLink.h"

namespace oront::test {

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { g_hWritePipe = g_hReadPipe = kNullPipe; }
    void TearDown() override { g_hWritePipe = g_hReadPipe = kNullPipe; }
};

}  // namespace oront::test
