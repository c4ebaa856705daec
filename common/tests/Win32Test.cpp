// The Windows helpers against the real platform.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "AnsiText.h"
#include "Com.h"
#include "ExecutableDirectory.h"
#include "GrowBuffer.h"
#include "UniqueHandle.h"

namespace zandrel {
namespace {

TEST(ExecutableDirectory, IsTheFoldersOfThisTestWithoutTrailingSeparator) {
    const std::string directory = std::get<std::string>(ExecutableDirectory());
    char path[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    const std::string full(path);
    ASSERT_FALSE(directory.empty());
    EXPECT_NE(directory.back(), '\\');
    EXPECT_EQ(full.substr(0, directory.size() + 1), directory + "\\");
    EXPECT_EQ(full.find('\\', directory.size() + 1), std::string::npos);
}

// What a GetModuleFileNameW answers: `path`, cut to the buffer (and then the buffer's size, as the
// system answers a cut name), or a failure with its error.
std::wstring modulePath;
DWORD WINAPI ModulePath(HMODULE, LPWSTR buffer, DWORD size) {
    if (modulePath.empty()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const DWORD copied = std::min<DWORD>(size, static_cast<DWORD>(modulePath.size()));
    std::wmemcpy(buffer, modulePath.data(), copied);
    if (copied == size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    buffer[copied] = L'\0';
    return copied;
}

TEST(ExecutableDirectory, IsTheProgramsFolderExactlyOrNone) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the rows are written for code page 1252; this system's is " << GetACP();
    }
    const std::wstring deep = L"C:\\" + std::wstring(300, L'd');
    const struct {
        std::wstring path;
        Result<std::string> directory;
    } kCases[] = {
        {L"C:\\Zandrel\\Siftwell.exe", "C:\\Zandrel"},
        {deep + L"\\Siftwell.exe", "C:\\" + std::string(300, 'd')},
        {L"C:\\Zandrel-\u00D8\\Siftwell.exe", "C:\\Zandrel-\xD8"},
        // Its ANSI form would be the look-alike "C:\Zandrel-O", another folder.
        {L"C:\\Zandrel-\u03A9\\Siftwell.exe", Failure{ERROR_NO_UNICODE_TRANSLATION, {}}},
        {L"C:\\Zandrel\uFF3CSiftwell.exe", "C:"},  // a full-width backslash separates nothing
        {L"Siftwell.exe", Failure{ERROR_BAD_PATHNAME, {}}},
        {L"", Failure{ERROR_NOT_ENOUGH_MEMORY, {}}},
    };
    for (const auto& c : kCases) {
        modulePath = c.path;
        Result<std::string> directory = ExecutableDirectory(&ModulePath);
        if (const Failure* failure = FailureOf(directory)) {
            EXPECT_NE(failure->description, "") << failure->number;
            directory = Failure{failure->number, {}};  // the system's text, whatever its wording
        }
        EXPECT_EQ(directory, c.directory) << c.path.size();
    }
}

// A call whose answer grows between calls (a value rewritten meanwhile): the answer of call k has
// `lengths[k]` characters (the last one for every later call); it asks for its room when `tells`.
TEST(GrowUntilFits, TakesEachAnswerAsItComes) {
    const struct {
        std::vector<std::size_t> lengths;
        bool tells;
        Result<std::size_t> length;
        int calls;
    } kCases[] = {
        {{3}, true, 3u, 1},
        {{10, 30, 70}, true, 70u, 4},   // 8, then 11, 31, 71
        {{10, 30, 70}, false, 70u, 5},  // 8, 16, 32, 64, 128: doubled where it does not say
        {{20, 5}, true, 5u, 2},         // shrunk meanwhile
        {{200}, true, Failure{ERROR_INSUFFICIENT_BUFFER, {}}, 1},
        {{}, true, Failure{ERROR_ACCESS_DENIED, {}}, 1},
    };
    for (const auto& c : kCases) {
        int calls = 0;
        const Result<std::string> answer =
            GrowUntilFits<std::string>(8, 200, [&](std::string& buffer) -> Result<BufferFill> {
                ++calls;
                if (c.lengths.empty()) {
                    return Failure{ERROR_ACCESS_DENIED, {}};
                }
                const std::size_t length = c.lengths[std::min<std::size_t>(calls, c.lengths.size()) - 1];
                if (length >= buffer.size()) {
                    return BufferFill::Needs(c.tells ? length + 1 : 0);
                }
                buffer.replace(0, length, length, 'a');
                return BufferFill::Fits(length);
            });
        SCOPED_TRACE(c.lengths.empty() ? 0 : c.lengths.back());
        EXPECT_EQ(calls, c.calls);
        if (const Failure* failure = FailureOf(c.length)) {
            EXPECT_EQ(answer, Result<std::string>(*failure));
        } else {
            EXPECT_EQ(answer, Result<std::string>(std::string(ValueOf(c.length), 'a')));
        }
    }
}

TEST(Win32TextCodec, ConvertsExactlyOrSaysSo) {
    if (GetACP() != 1252) {
        GTEST_SKIP() << "the rows are written for code page 1252; this system's is " << GetACP();
    }
    const Win32TextCodec codec;
    // 1252's undefined bytes come back as they went: a password may hold them.
    std::u16string wide;
    codec.AppendWide("\x81\x8D\x80\xFC", wide);
    EXPECT_EQ(wide, u"\u0081\u008D\u20AC\u00FC");
    std::string ansi;
    EXPECT_TRUE(codec.AppendAnsi(wide, ansi));
    EXPECT_EQ(ansi, "\x81\x8D\x80\xFC");
    // No look-alike: Omega is no O, full-width backslash no backslash.
    ansi.clear();
    EXPECT_FALSE(codec.AppendAnsi(u"\u03A9\uFF3C", ansi));
    EXPECT_EQ(ansi, "??");
    EXPECT_EQ(codec.AnsiCharacterLength("\x81\x81"), 1u);
    // UTF-8 takes neither the best-fit nor the used-default flag: the strict flag is its own test.
    EXPECT_EQ(ExactAnsi(L"\u03A9", CP_UTF8), "\xCE\xA9");
    EXPECT_EQ(ExactAnsi(L"a\xD800", CP_UTF8), std::nullopt);
    EXPECT_EQ(ExactAnsi(L"\u03A9", 1253), "\xD9");
    EXPECT_EQ(ExactAnsi(L"\u03A9"), std::nullopt);
    EXPECT_EQ(ExactAnsi(L"x", 99), std::nullopt);  // no such code page: nothing to say it in
    // Simple lower case, the same in every locale: U+0130 is "i", and "I" stays "i".
    std::u16string folded;
    codec.FoldCase(u"T\u0130MEZONE TIMEZONE \u00C4\uFF21", folded);
    EXPECT_EQ(folded, u"timezone timezone \u00E4\uFF41");
}

TEST(AnsiText, RoundTripsTheCodePage) {
    // Code page 1252: 0xE9 is e acute, 0x80 the euro sign.
    const std::string ansi = "caf\xE9 \x80 5";
    const std::wstring wide = AnsiToWide(ansi);
    EXPECT_EQ(wide, L"caf\u00E9 \u20AC 5");
    EXPECT_EQ(WideToAnsi(wide), ansi);
    EXPECT_EQ(WideToAnsi(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(WideToAnsi(L"\u4E2D"), "?");  // not in the code page: the default character
}

TEST(UniqueHandle, ClosingKeepsTheLastError) {
    UniqueKernelHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event);
    SetLastError(1234);
    event.reset();
    EXPECT_EQ(GetLastError(), 1234u);
    EXPECT_FALSE(event);
}

// An owner that is handed a new string frees the one it held: 64 strings of 4 MiB would show.
TEST(UniqueBstr, PuttingFreesWhatItHeld) {
    const auto privateBytes = [] {
        PROCESS_MEMORY_COUNTERS counters{};
        GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return counters.PagefileUsage;
    };
    const std::wstring text(std::size_t{2} << 20, L'x');
    UniqueBstr held;
    const SIZE_T before = privateBytes();
    for (int i = 0; i < 64; ++i) {
        *held.put() = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        ASSERT_NE(held.get(), nullptr);
    }
    const SIZE_T after = privateBytes();
    EXPECT_LT(after > before ? after - before : 0, SIZE_T{64} << 20);
}

}  // namespace
}  // namespace zandrel
