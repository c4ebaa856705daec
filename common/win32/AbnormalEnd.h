// How a run that cannot go on ends: at once, with ExitStatus::AbnormalEnd, and never with a box that
// waits for a click. The programs are started unattended (by the server, a scheduler, at logon).
#pragma once

namespace zandrel {

// First thing in WinMain. A crash shows no dialog: Windows Error Reporting still writes its report
// and dump, it only asks nobody; no critical-error or missing-file box either. std::terminate (an
// exception that nothing catches, a noexcept function that throws) ends the process with
// AbnormalEnd, not with the runtime's abort(), whose "Runtime Error" box waits in a windowed
// program and whose status 3 means a line that could not be written.
void PrepareForAbnormalEnds() noexcept;

// Ends this process at once with ExitStatus::AbnormalEnd: no destructors, no atexit functions, no
// DLL detach notifications, any of which might need the memory that is not there. A result line is
// written whole or not at all, so the file holds whole lines only.
[[noreturn]] void EndAbnormally() noexcept;

// WinMain's body: its status, or AbnormalEnd when an exception leaves it (std::bad_alloc above all).
template <class Body>
int RunToAnEnd(Body&& body) noexcept {
    try {
        return static_cast<int>(body());
    } catch (...) {
        EndAbnormally();
    }
}

}  // namespace zandrel
