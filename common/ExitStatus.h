// The probes' process exit statuses. Every outcome that a line of the result file can tell is
// reported there and ends with Completed; the others are the cases in which no line can be written.
#pragma once

namespace zandrel {

enum class ExitStatus : int {
    Completed = 0,           // the run ended normally or stopped after writing its lines
    DllSearchOpen = 1,       // DLLs could not be limited to System32: nothing was run
    SettingsUnreadable = 2,  // the settings file could not be opened: nothing was written
    ResultUnwritable = 3,    // a line could not be written to the result file
    StaleLogKept = 4,        // the old result log was to be deleted but could not be
};

}  // namespace zandrel
