#pragma once

namespace oxel {

// How a photograph came into the batch: handed over by a host application (and written back to
// it by send back), or dropped or chosen by the photographer.
enum class Origin { handoff, opened };

} // namespace oxel
