// What a test of the Windows build may assume of the system it runs on.
#pragma once

namespace zandrel::testing {

// Whether this test runs under Wine, whose answers some tests assume (an empty local event log, no
// network, its own message, date and management-service texts): elsewhere those tests say they are
// skipped.
bool RunningUnderWine();

}  // namespace zandrel::testing
