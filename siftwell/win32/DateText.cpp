#include <windows.h>
#include <oleauto.h>

#include "siftwell/win32/Adapters.h"
#include "AnsiText.h"
#include "Com.h"

namespace zandrel::siftwell {

Result<std::string> Win32DateText::FormatDate(const CivilTime& time) {
    SYSTEMTIME systemTime{};
    systemTime.wYear = static_cast<WORD>(time.year);
    systemTime.wMonth = static_cast<WORD>(time.month);
    systemTime.wDay = static_cast<WORD>(time.day);
    systemTime.wHour = static_cast<WORD>(time.hour);
    systemTime.wMinute = static_cast<WORD>(time.minute);
    systemTime.wSecond = static_cast<WORD>(time.second);
    DATE date = 0;
    // The conversion sets no last error: a date it cannot represent is an invalid argument.
    if (!SystemTimeToVariantTime(&systemTime, &date)) {
        return Failure{static_cast<std::int32_t>(E_INVALIDARG), {}};
    }
    UniqueBstr text;
    if (const HRESULT result = VarBstrFromDate(date, LOCALE_USER_DEFAULT, 0, text.put()); FAILED(result)) {
        return Failure{static_cast<std::int32_t>(result), {}};
    }
    return WideToAnsi(std::wstring_view(text.get(), SysStringLen(text.get())));
}

}  // namespace zandrel::siftwell
