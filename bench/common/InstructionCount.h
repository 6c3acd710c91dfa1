// The instructions a stretch of a benchmark retires in user space, from the
// processor's own counter (perf_event_open), this thread and the threads it
// starts: unlike a time, the count barely moves with the machine's load, so
// that a reader can check a ratio on a busy machine. Where the kernel or the
// machine offers no such counter (a virtual machine without one,
// perf_event_paranoid above 2) the count is unavailable and says why;
// callgrind then counts instead (see the benchmark's README).
#pragma once

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

class TInstructionCount {
public:
    TInstructionCount()
    {
        perf_event_attr A;
        std::memset(&A, 0, sizeof A);
        A.size = sizeof A;
        A.type = PERF_TYPE_HARDWARE;
        A.config = PERF_COUNT_HW_INSTRUCTIONS;
        A.disabled = 1;
        A.inherit = 1;
        A.exclude_kernel = 1;
        A.exclude_hv = 1;
        FFd = int(syscall(SYS_perf_event_open, &A, 0, -1, -1, 0));
        if (FFd < 0)
            FWhy = std::string("perf_event_open: ") + std::strerror(errno);
    }
    ~TInstructionCount()
    {
        if (FFd >= 0)
            close(FFd);
    }
    TInstructionCount(const TInstructionCount &) = delete;
    TInstructionCount &operator=(const TInstructionCount &) = delete;

    bool Available() const { return FFd >= 0; }
    // Why there is no count ("" when there is one).
    const std::string &Why() const { return FWhy; }

    void Start()
    {
        if (FFd < 0)
            return;
        ioctl(FFd, PERF_EVENT_IOC_RESET, 0);
        ioctl(FFd, PERF_EVENT_IOC_ENABLE, 0);
    }
    // The instructions since Start, or -1 without a counter.
    long long Stop()
    {
        if (FFd < 0)
            return -1;
        ioctl(FFd, PERF_EVENT_IOC_DISABLE, 0);
        std::uint64_t N = 0;
        if (read(FFd, &N, sizeof N) != ssize_t(sizeof N)) {
            FWhy = "the counter could not be read";
            return -1;
        }
        return (long long)N;
    }

private:
    int FFd = -1;
    std::string FWhy;
};
