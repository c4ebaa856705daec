#include "PrivateFile.h"

#include <string>
#include <vector>

#include "GrowBuffer.h"
#include "LastError.h"

namespace zandrel {
namespace {

// Far more than any TOKEN_USER: a SID has at most 15 sub-authorities.
constexpr std::size_t kLargestTokenUser = 4096;

// The account that runs this process, as SDDL text ("S-1-5-21-...").
Result<std::string> ProcessUserSid(const ResultFileCalls& calls) {
    UniqueKernelHandle token;
    if (!calls.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return LastErrorFailure();
    }
    // new'd storage: aligned for the pointer inside.
    const Result<std::vector<unsigned char>> user = GrowUntilFits<std::vector<unsigned char>>(
        0, kLargestTokenUser, [&](std::vector<unsigned char>& buffer) -> Result<BufferFill> {
            DWORD size = 0;
            if (calls.getTokenInformation(token.get(), TokenUser, buffer.empty() ? nullptr : buffer.data(),
                                          static_cast<DWORD>(buffer.size()), &size)) {
                return BufferFill::Fits(size);
            }
            const Failure failure = LastErrorFailure();
            if (failure.number != ERROR_INSUFFICIENT_BUFFER) {
                return failure;
            }
            return BufferFill::Needs(size);
        });
    if (const Failure* failure = FailureOf(user)) {
        return *failure;
    }
    if (ValueOf(user).size() < sizeof(TOKEN_USER)) {
        return Failure{ERROR_INVALID_DATA, {}};
    }
    LPSTR text = nullptr;
    if (!calls.convertSidToStringSid(reinterpret_cast<const TOKEN_USER*>(ValueOf(user).data())->User.Sid,
                                     &text)) {
        return LastErrorFailure();
    }
    const UniqueLocal owned(text);
    return std::string(text);
}

}  // namespace

Result<PrivateFileSecurity> PrivateFileSecurity::Make(const ResultFileCalls& calls) {
    const Result<std::string> user = ProcessUserSid(calls);
    if (const Failure* failure = FailureOf(user)) {
        return *failure;
    }
    const std::string sddl = "D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + ValueOf(user) + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!calls.convertStringSecurityDescriptor(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return LastErrorFailure();
    }
    return PrivateFileSecurity(UniqueLocal(descriptor));
}

}  // namespace zandrel
