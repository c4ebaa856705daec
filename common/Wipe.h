// Wiping what may hold a password (the remote account's) out of memory, so that no later crash dump or
// swapped page shows it. The password itself travels as a Secret (Secret.h), which wipes itself; these
// serve the scratch buffers that the settings reader passes a file's text through.
#pragma once

#include <cstddef>
#include <string>

namespace zandrel {

// Zeroes the bytes with writes the compiler may not drop, although nothing reads them afterwards.
void WipeBytes(void* bytes, std::size_t size) noexcept;

// Zeroes the text's whole buffer, the spare room behind its end included, and leaves it empty. A
// short text lives inside the string object itself, so a moved-from string still holds its bytes:
// wipe the source of a move too.
template <typename Char>
void WipeText(std::basic_string<Char>& text) noexcept {
    // Growing to the capacity never reallocates; it only makes the spare room part of the text.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size() * sizeof(Char));
    text.clear();
}

// Wipes the text when the scope ends, whichever way it is left.
template <typename Char>
class WipeOnExit {
  public:
    explicit WipeOnExit(std::basic_string<Char>& text) noexcept : text_(text) {}
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;
    ~WipeOnExit() { WipeText(text_); }

  private:
    std::basic_string<Char>& text_;
};

}  // namespace zandrel
