// The floor of a probe run: only the three connections, queries and property reads that a run makes,
// through the same adapter, with no settings, no arithmetic and no result file.
#include <string>

#include "gaugewell/core/Module1.h"
#include "gaugewell/win32/WbemService.h"

namespace {

using namespace zandrel::gaugewell;

// Connects, runs one query and reads the named properties of every instance; the connection and
// the set are released on return, as in a run.
template <typename Query>
size_t ReadAll(WbemService& service, Query query, std::initializer_list<const char*> properties) {
    using zandrel::FailureOf;
    using zandrel::ValueOf;
    auto connected = service.Connect(u".", u"", u"");
    if (FailureOf(connected)) {
        return 0;
    }
    const auto connection = std::move(ValueOf(connected));
    auto queried = query(*connection);
    if (FailureOf(queried)) {
        return 0;
    }
    const auto set = std::move(ValueOf(queried));
    size_t bytes = 0;
    (void)set->Count();
    while (true) {
        auto next = set->Next();
        if (FailureOf(next) || !ValueOf(next)) {
            break;
        }
        for (const char* name : properties) {
            const auto value = ValueOf(next)->Property(name);
            if (!FailureOf(value) && ValueOf(value)) {
                bytes += ValueOf(value)->size();
            }
        }
    }
    return bytes;
}

}  // namespace

int main() {
    WbemService service;
    size_t bytes =
        ReadAll(service, [](ManagementConnection& c) { return c.ExecQuery("Select * From Win32_Processor"); },
                {"LoadPercentage"});
    bytes += ReadAll(service, [](ManagementConnection& c) { return c.InstancesOf("Win32_OperatingSystem"); },
                     {"FreePhysicalMemory", "TotalVisibleMemorySize"});
    bytes += ReadAll(service,
                     [](ManagementConnection& c) {
                         return c.ExecQuery("Select * From Win32_LogicalDisk Where DeviceID = \"C:\"");
                     },
                     {"FreeSpace", "Size"});
    // The figures were read: a run that read nothing failed.
    return bytes == 0 ? 1 : 0;
}
