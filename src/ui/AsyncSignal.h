#pragma once

// The model's signals for interface code: Qt defines `emit` and `slots` as empty words, which
// would swallow names inside `Signal` in any file that saw a Qt header first.
#pragma push_macro("emit")
#pragma push_macro("slots")
#undef emit
#undef slots
#include "async/Signal.h"
#pragma pop_macro("slots")
#pragma pop_macro("emit")
