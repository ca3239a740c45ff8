// The Microsoft C runtime's rand(), reproduced so that both platforms draw the same numbers
// from the same seed: a 32-bit linear congruential generator whose results are bits 16..30
// of the state (0..32767). The random-track command draws from one of these, seeded with the
// tick count when the control is constructed.
#pragma once

#include <cstdint>

namespace bridge {

class CrtRandom {
public:
    explicit CrtRandom(uint32_t seed = 1) : state_(seed) {}
    void seed(uint32_t seed) { state_ = seed; }
    int32_t next() {
        state_ = state_ * 214013u + 2531011u;
        return int32_t((state_ >> 16) & 0x7FFF);
    }

private:
    uint32_t state_;
};

} // namespace bridge
