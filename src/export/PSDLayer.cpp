#include "export/PSDLayer.h"

namespace oxel {

std::string_view blendKey(PSDBlend blend)
{
    switch (blend) {
    case PSDBlend::linearLight: return "lLit";
    case PSDBlend::overlay: return "over";
    case PSDBlend::normal: break;
    }
    return "norm";
}

std::optional<PSDBlend> blendFromKey(std::string_view key)
{
    for (PSDBlend blend : {PSDBlend::normal, PSDBlend::linearLight, PSDBlend::overlay})
        if (blendKey(blend) == key) return blend;
    return std::nullopt;
}

} // namespace oxel
