// The PSK31 stand-in uses the stand-ins' shared journal.
#pragma once

#include "shared/journal.h"

namespace psk31 {
using standin::Journal;
using standin::NowMs;
}  // namespace psk31
