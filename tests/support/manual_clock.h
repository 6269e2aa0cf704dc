// The tests' clock: time moves only when somebody sleeps on it.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link/hid_host.h"

namespace zelio {

class ManualClock final : public Clock {
public:
    void sleepMs(int ms) override {
        if (ms > 0) now_ += ms;
        sleeps_.push_back(ms);
        if (onSleep) onSleep(now_);
    }
    std::function<void(int64_t now)> onSleep;  // what another program does meanwhile
    int64_t nowMs() override { return now_; }
    void advance(int64_t ms) { now_ += ms; }
    const std::vector<int>& sleeps() const { return sleeps_; }

private:
    int64_t now_ = 0;
    std::vector<int> sleeps_;
};

}  // namespace zelio
