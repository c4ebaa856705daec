// What may be handed to the system when a message is formatted: which templates are formatted at
// all, and the argument table that answers every insert a template can name.
#pragma once

#include <array>
#include <string_view>

#include "siftwell/core/Ports.h"

namespace zandrel::siftwell {

// The argument table handed to the system: slots 1 to 10 from `args` (null when unset), and every
// reference from %11 up to %99, which no record can fill, pointing at its own text ("%11"), so that
// no message can make the system read past the array.
InsertArguments InsertTable(const MessageArgs& args);

// True when an insert of the message, %1 to %99 followed by a printf form between "!" marks, would
// take anything but its own entry of the argument table as a narrow string: a "*" width or precision
// reads further entries (past the table for the last ones), a number or a wide string misreads the
// string's pointer. A template with such an insert is not formatted; escapes (%%, %n, %!) are no inserts.
bool HasUnsafeInsert(std::string_view messageTemplate);

}  // namespace zandrel::siftwell
