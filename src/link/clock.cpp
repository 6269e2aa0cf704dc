#include <chrono>
#include <thread>

#include "link/hid_host.h"

namespace zelio {
namespace {

// A clock on one of std::chrono's clocks, sleeping with std::this_thread.
template <typename Chrono>
class ChronoClock final : public Clock {
public:
    void sleepMs(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    int64_t nowMs() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Chrono::now().time_since_epoch()).count();
    }
};

}  // namespace

Clock& systemClock() {
    static ChronoClock<std::chrono::steady_clock> clock;
    return clock;
}

Clock& wallClock() {
    static ChronoClock<std::chrono::system_clock> clock;
    return clock;
}

}  // namespace zelio
