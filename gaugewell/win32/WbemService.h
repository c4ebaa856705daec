// The management service of a host through its scripting objects over COM (SWbemLocator and the
// objects it leads to), and the user's regional settings. The only code of the probe that touches COM.
#pragma once

#include "Com.h"
#include "gaugewell/core/Ports.h"

namespace zandrel::gaugewell {

class WbemService : public ManagementService {
  public:
    // Starts COM on this thread and sets the process security that remote connections need.
    WbemService();

    ServiceResult<ManagementConnection> Connect(std::u16string_view server, std::u16string_view userName,
                                                const WideSecret& password) override;

  private:
    ComApartment apartment_;
};

// The failure of the COM call that just returned `result`, with the description that the object left
// in the thread's error information (an empty text when it left none); the information is used up.
Failure TakeFailure(long result);

class WindowsLocale : public UserLocale {
  public:
    Result<std::string> ThousandsSeparator() override;
};

}  // namespace zandrel::gaugewell
