// The reader over a port record's overlay lock, as the engine uses it.
#include <gtest/gtest.h>

#include <windows.h>

#include "overlay/overlay_file.h"
#include "video/port_presentation.h"

namespace vd {
namespace {

struct LoadJob {
    OverlayLock* lock;
    OverlayItemList* items;
    bool loaded;
};

DWORD WINAPI Load(void* parameter) {
    LoadJob* job = static_cast<LoadJob*>(parameter);
    job->loaded = LoadOverlayText(*job->lock,
                                  "<r><g Stamp=\"1\"><Line ID=\"a\" Color=\"ff0000\"/></g>"
                                  "<g Stamp=\"2\"><Line ID=\"a\"/><Text ID=\"b\" Color=\"00ff00\">b</Text></g></r>",
                                  *job->items);
    return 0;
}

TEST(OverlayLockWin32, TheReaderWaitsForThePortsLock) {
    PortOverlayLock lock;
    OverlayItemList items;
    LoadJob job{&lock, &items, false};

    lock.Lock();
    HANDLE thread = CreateThread(nullptr, 0, Load, &job, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    // While the section is ours the reader cannot reach the list.
    EXPECT_EQ(WaitForSingleObject(thread, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(items.Empty());
    lock.Unlock();

    ASSERT_EQ(WaitForSingleObject(thread, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(thread);
    EXPECT_TRUE(job.loaded);
    OverlayLockHold hold(lock);
    EXPECT_EQ(items.Size(), 2u);
    EXPECT_EQ(items[0].endMs, 2000u);
}

}  // namespace
}  // namespace vd
