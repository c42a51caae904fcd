#include "model/RoomWait.h"

namespace oxel {

void RoomWait::reset()
{
    held.clear();
    account.reset();
    sentTogether.clear();
    look.cancel();
    storedResults = {};
    line.reset();
}

} // namespace oxel
