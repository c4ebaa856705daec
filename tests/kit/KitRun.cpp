// Runs one suite of the test kit with a time limit, so that a suite that hangs (a dialog nobody
// answers, a window that never comes) cannot stop the whole kit: at the limit the suite and every
// process it started are ended together (they share a job), and the status is ERROR_TIMEOUT.
// The status goes into EXIT_FILE as a decimal line, for kit-results.exe.
//   kit-run.exe SECONDS EXIT_FILE PROGRAM [ARGUMENT...]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "UniqueHandle.h"

namespace {

// Quoted as CommandLineToArgvW reads it back: backslashes doubled only before a quote.
void AppendQuoted(std::string& commandLine, const char* argument) {
    commandLine += '"';
    std::size_t backslashes = 0;
    for (const char* at = argument; *at != '\0'; ++at) {
        if (*at == '\\') {
            ++backslashes;
            continue;
        }
        commandLine.append(*at == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        commandLine += *at;
    }
    commandLine.append(backslashes * 2, '\\');
    commandLine += '"';
}

bool WriteStatus(const char* path, DWORD status) {
    std::FILE* file = std::fopen(path, "w");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fprintf(file, "%lu\n", static_cast<unsigned long>(status)) > 0;
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: kit-run.exe SECONDS EXIT_FILE PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const unsigned long seconds = std::strtoul(argv[1], nullptr, 10);
    std::string commandLine;
    for (int i = 3; i < argc; ++i) {
        if (i > 3) {
            commandLine += ' ';
        }
        AppendQuoted(commandLine, argv[i]);
    }
    const zandrel::UniqueKernelHandle job(CreateJobObjectA(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job ||
        !SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        std::fprintf(stderr, "kit-run: no job object (error %lu)\n", GetLastError());
        return 2;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that nothing it starts escapes the limit.
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "kit-run: cannot start %s (error %lu)\n", argv[3], error);
        return WriteStatus(argv[2], error) ? 0 : 1;
    }
    const zandrel::UniqueKernelHandle process(info.hProcess);
    const zandrel::UniqueKernelHandle thread(info.hThread);
    if (!AssignProcessToJobObject(job.get(), process.get())) {
        std::fprintf(stderr, "kit-run: the suite runs without a job (error %lu)\n", GetLastError());
    }
    ResumeThread(thread.get());
    DWORD status = ERROR_TIMEOUT;
    if (WaitForSingleObject(process.get(), seconds * 1000) == WAIT_OBJECT_0) {
        if (!GetExitCodeProcess(process.get(), &status)) {
            status = GetLastError();
        }
    } else {
        std::printf("kit-run: %s did not end within %lu s: ended with everything it started\n", argv[3],
                    seconds);
        TerminateJobObject(job.get(), ERROR_TIMEOUT);
        TerminateProcess(process.get(), ERROR_TIMEOUT);
        WaitForSingleObject(process.get(), 10000);
    }
    return WriteStatus(argv[2], status) ? 0 : 1;
}
