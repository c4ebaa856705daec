// The process exit statuses of the whole tool set, one table for the two probes and the launcher.
// A probe reports every outcome that a line of its result file can tell there and ends with
// Completed; the launcher shows what happens once its window exists. A status other than 0 is a
// case in which the program had no other way to say what went wrong. Each number means one thing
// in every program, and a number once given keeps its meaning.
#pragma once

namespace zandrel {

enum class ExitStatus : int {
    // The program ran to its end: a probe's lines (failure lines included) are in its result file,
    // the launcher's window was shown and is gone again.
    Completed = 0,
    // The DLL search could not be limited to System32: nothing was started, read or written.
    DllSearchOpen = 1,
    // The settings could not be taken as written: the settings file could not be opened, or the
    // folder that holds it or a value in it has a character that the ANSI code page lacks. Nothing
    // was read from a host and nothing was written.
    SettingsUnusable = 2,
    // A line could not be written to the result file (or the result file is a link to another file).
    ResultUnwritable = 3,
    // Siftwell's fresh start (OverwriteLog=True) failed: the old event.log could not be emptied, or
    // it could not be told whether there is one. Nothing was appended.
    StaleLogKept = 4,
    // The launcher's window could not be registered or created: nothing was shown or started.
    NoWindow = 5,
    // The run could not go on and ended at once: memory ran out, an exception that nothing expected
    // reached the top, or a noexcept function threw. No line was written after that point; the lines
    // written before it are whole.
    AbnormalEnd = 6,
};

}  // namespace zandrel
