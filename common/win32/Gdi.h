// Ownership of the drawing objects: the screen's device context, memory device contexts and bitmaps,
// and an object's selection into a device context, which must end before either is deleted.
#pragma once

#include <windows.h>

#include "UniqueHandle.h"

namespace zandrel {

// The whole screen's device context, as GetDC(nullptr) hands it out: released, never deleted.
struct ScreenDcTraits {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle dc) noexcept { ReleaseDC(nullptr, dc); }
};

using UniqueScreenDc = UniqueHandle<ScreenDcTraits>;
// CreateCompatibleDC's device context.
using UniqueMemoryDc = UniqueHandle<NullHandleTraits<HDC, &DeleteDC>>;
using UniqueBitmap = UniqueHandle<NullHandleTraits<HBITMAP, &DeleteObject>>;

// Selects an object into a device context and puts back the one it replaced at the end of the scope:
// a bitmap still selected cannot be read with GetDIBits or deleted, nor its device context deleted
// without leaking what the context held at its start.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (*this) {
            SelectObject(dc_, previous_);
        }
    }

    // False when the selection failed: nothing is selected, and nothing is put back.
    explicit operator bool() const noexcept { return previous_ != nullptr && previous_ != HGDI_ERROR; }

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace zandrel
