// A thread that waits for another to change a count. Where Windows has WaitOnAddress (8 and
// later, in kernelbase) the waiting thread sleeps on the count itself; elsewhere on an
// auto-reset event that the changing side sets after each change. Either way the waiter
// tests the count first and sleeps only while it is unchanged, so a wake-up left over from
// an earlier change costs one more test, never a lost one.
//
// Under Wine an event is a request to the wineserver, the one process that also makes every
// file the run writes, so each hand-over queued behind creates; WaitOnAddress is a futex
// there. A hand-over's round trip (two threads, 20,000 exchanges, win64 under Wine) took
// 109-126 us with events and 37-42 us on the address. Looked up at run time, since Windows
// before 8 lacks it; kernel32 does not export it, kernelbase (loaded into every process
// from Windows 7 on) does.
#include "common/sysfunction.h"
#include "unzip/win32/win32.h"

static_assert(sizeof(std::atomic<unsigned>) == sizeof(unsigned) &&
                  std::atomic<unsigned>::is_always_lock_free,
              "a count is waited on as the plain word it is");

int count_waits_ready(WaitedCount *count) {
    count->wait_on_address = systemFunction<WaitOnAddressFn>("kernelbase.dll", "WaitOnAddress");
    count->wake_by_address =
        systemFunction<WakeByAddressFn>("kernelbase.dll", "WakeByAddressSingle");
    if (count->wait_on_address != NULL && count->wake_by_address != NULL) return 1;
    count->wait_on_address = NULL;
    count->wake_by_address = NULL;
    if (count->changed == NULL) count->changed = CreateEventA(NULL, FALSE, FALSE, NULL);
    return count->changed != NULL;
}

void wait_for_change(WaitedCount *count, unsigned seen) {
    while (count->value.load(std::memory_order_acquire) == seen) {
        if (count->wait_on_address != NULL)
            count->wait_on_address(&count->value, &seen, sizeof seen, INFINITE);
        else
            WaitForSingleObject(count->changed, INFINITE);
    }
}

void count_up(WaitedCount *count) {
    count->value.fetch_add(1, std::memory_order_release);
    if (count->wake_by_address != NULL)
        count->wake_by_address(&count->value);
    else
        SetEvent(count->changed);
}
