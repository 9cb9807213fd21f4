// The udev watch for added video devices: one netlink socket watched by the event loop while it
// lives, no thread of its own, nothing left once it goes. (Its notices need a udev daemon; the
// kernel suite hears them next to one.)
#include "linux/desktop/udev_device_arrivals.h"

#include <gtest/gtest.h>

#include "support/doubles/headless_harness.h"
#include "support/process_resources.h"

namespace {

TEST(UdevDeviceArrivalsTest, AWatchHoldsOneSocketAndNoThreadAndGivesItBack) {
    EnsureQtApplication();
    const ResourceLeakCheck nothingLeft({.mappings = false});
    const ProcessResources before = CountProcessResources();
    UdevDeviceArrivals arrivals;
    std::unique_ptr<DeviceArrivalWatch> watch = arrivals.Watch([] {});
    if (!watch) {
        GTEST_SKIP() << "no udev netlink socket can be made here";
    }
    const ProcessResources during = CountProcessResources();
    EXPECT_EQ(during.descriptors, before.descriptors + 1);
    EXPECT_EQ(during.threads, before.threads);
    watch.reset();
    EXPECT_TRUE(nothingLeft.NothingLeftBehind());
}

}  // namespace
