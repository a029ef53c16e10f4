#pragma once

// How long a test waits for work that another thread, process, server or the
// event loop does: far longer than that work takes on a machine loaded many
// times over, so that only a fault reaches it. A wait returns as soon as its
// condition holds, so the bound costs nothing when the test passes. Waits that
// must see nothing happen keep their own short time.
inline constexpr double kPatientSeconds = 60.0;
inline constexpr int kPatientMs = static_cast<int>(kPatientSeconds * 1000);
