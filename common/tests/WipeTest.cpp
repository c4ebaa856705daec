#include <gtest/gtest.h>

#include <string>

#include "Wipe.h"

namespace zandrel {
namespace {

// What a wiped text leaves in its buffer: zeros only, the spare room behind a shortened text included
// (it still holds the old characters).
template <typename Char>
void ExpectWholeBufferWiped(std::basic_string<Char> text, std::size_t keep) {
    text.resize(keep);
    const Char* buffer = text.data();
    const std::size_t capacity = text.capacity();
    WipeText(text);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(text.data(), buffer) << "wiped where it lives, not in a new buffer";
    for (std::size_t i = 0; i < capacity; ++i) {
        ASSERT_EQ(buffer[i], Char{}) << "at " << i;
    }
}

TEST(WipeText, ZeroesTheWholeBuffer) {
    ExpectWholeBufferWiped(std::string("a password long enough for the heap"), 3);
    ExpectWholeBufferWiped(std::string("short"), 2);  // inside the string object
    ExpectWholeBufferWiped(std::wstring(L"a wide password long enough for the heap"), 0);
}

TEST(WipeText, OnEveryWayOutOfTheScope) {
    std::string password = "a password long enough for the heap";
    const char* buffer = password.data();
    try {
        const WipeOnExit wipe(password);
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_TRUE(password.empty());
}

}  // namespace
}  // namespace zandrel
