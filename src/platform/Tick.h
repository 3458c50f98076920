#pragma once
// Millisecond tick, the stand-in for GetTickCount: steady, never wraps, always >= 1 so that
// 0 can mean "not armed".

#include <cstdint>

namespace pelmar {

int64_t GetTickCount();

}  // namespace pelmar
