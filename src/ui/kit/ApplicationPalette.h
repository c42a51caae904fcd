#pragma once

#include "ui/kit/Appearance.h"

#include <QPalette>

namespace oxel {

// The platform palette made from ours, so that what the style draws (menus, tooltips, alerts,
// file dialogs, scroll bars) follows the appearance too. Its window colour is paper, which is
// also how a widget tells which appearance it is drawn in.
QPalette applicationPalette(Appearance appearance);

} // namespace oxel
