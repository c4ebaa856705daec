// What a result file that this process creates is given: a protected DACL for SYSTEM,
// Administrators and the account that runs the probe. The folder's permissions (which may let every
// user read the records) are not inherited; the creator keeps full control, which the cut of a torn
// line needs. A file that exists keeps its permissions: only a create takes this descriptor.
#pragma once

#include <windows.h>

#include "Failure.h"
#include "ResultFileCalls.h"
#include "UniqueHandle.h"

namespace zandrel {

class PrivateFileSecurity {
  public:
    static Result<PrivateFileSecurity> Make(const ResultFileCalls& calls);

    // For CreateFileA; valid as long as this object lives.
    SECURITY_ATTRIBUTES* Attributes() noexcept {
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = descriptor_.get();
        attributes_.bInheritHandle = FALSE;
        return &attributes_;
    }

  private:
    explicit PrivateFileSecurity(UniqueLocal descriptor) : descriptor_(std::move(descriptor)) {}

    UniqueLocal descriptor_;
    SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace zandrel
