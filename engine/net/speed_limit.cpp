#include "net/speed_limit.h"

namespace velk::net {

int64_t speedLimitPauseMillis(int64_t bytesMoved, int32_t bytesPerSecond, int64_t elapsedMillis) {
    if (bytesPerSecond <= 0) return 0;
    int64_t pause = bytesMoved * 1000 / bytesPerSecond - elapsedMillis;
    // Rounding comes before the range check, so a pause of -1..-9 ms becomes 10 ms.
    if (pause % 10 != 0) pause = (pause / 10) * 10 + 10;
    if (pause < 0 || pause > kMaxSpeedLimitPauseMillis) pause = 0;
    return pause;
}

}  // namespace velk::net
