#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "Secret.h"
#include "SecretCount.h"
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

// Hands out storage and keeps what each block held when it came back.
template <typename Char>
struct RecordingAllocator {
    using value_type = Char;
    std::vector<std::basic_string<Char>>* returned = nullptr;

    Char* allocate(std::size_t count) { return std::allocator<Char>().allocate(count); }
    void deallocate(Char* block, std::size_t count) {
        returned->emplace_back(block, count);
        std::allocator<Char>().deallocate(block, count);
    }
};

static_assert(!std::is_copy_constructible_v<Secret> && !std::is_copy_assignable_v<Secret>);
static_assert(std::is_nothrow_move_constructible_v<WideSecret>);

TEST(Secret, WipesEveryBlockItLetsGo) {
    using Recorded = BasicSecret<char16_t, RecordingAllocator<char16_t>>;
    const struct {
        const char* name;
        void (*letGo)(Recorded&);
    } kCases[] = {
        {"destroyed", [](Recorded& secret) { std::destroy_at(&secret); }},
        {"assigned over", [](Recorded& secret) { secret = Recorded(); }},
        {"resized", [](Recorded& secret) { secret.Resize(40); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::u16string> returned;
        alignas(Recorded) unsigned char room[sizeof(Recorded)];
        Recorded* secret = new (room) Recorded(std::u16string_view(u"s3cret"), {&returned});
        c.letGo(*secret);
        ASSERT_EQ(returned.size(), 1u);
        EXPECT_EQ(returned[0], std::u16string(7, u'\0'));
        if (std::string_view(c.name) != "destroyed") {
            std::destroy_at(secret);
        }
    }
}

TEST(Secret, MoveHandsOnTheStorageAndLeavesNothing) {
    const testing::SecretCount secrets;
    Secret source(std::string_view("short"));
    const char* storage = source.c_str();
    Secret taken = std::move(source);
    EXPECT_EQ(taken.c_str(), storage) << "the pointer moves, not the characters";
    EXPECT_EQ(source.data(), nullptr);
    EXPECT_TRUE(source.empty());
    EXPECT_EQ(taken.View(), "short");
    taken.Resize(8);
    EXPECT_EQ(taken.View(), std::string_view("short\0\0\0", 8));
    EXPECT_EQ(secrets.Held(), 1u);
}

TEST(MaskedSecret, KeepsNoTextBetweenItsUses) {
    WideSecret secret(std::u16string_view(u"s3cret"));
    const char16_t* storage = secret.c_str();
    const MaskedSecret<char16_t> masked(std::move(secret));
    EXPECT_NE(std::u16string_view(storage, 6), u"s3cret") << "masked where it stands";
    EXPECT_EQ(masked.Reveal().View(), u"s3cret");
    EXPECT_EQ(masked.Reveal().View(), u"s3cret");
}

}  // namespace
}  // namespace zandrel
