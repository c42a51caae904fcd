# Stacks the visible layers of a layered document the way a photo editor blends them (normal,
# linear light and overlay, each through its opacity and mask, clamped to 0...1 at every step) and
# prints how far the result lies from the document's stored composite, in 16-bit steps.
import json
import sys

import numpy as np
from psd_tools import PSDImage


def blend(mode, base, top):
    if mode == 'NORMAL':
        return top
    if mode == 'LINEAR_LIGHT':
        return np.clip(base + 2 * top - 1, 0, 1)
    if mode == 'OVERLAY':
        return np.where(base <= 0.5, 2 * base * top, 1 - 2 * (1 - base) * (1 - top))
    raise ValueError(mode)


def main(path):
    document = PSDImage.open(path)
    stacked = None
    for layer in document:
        if not layer.visible:
            continue
        top = layer.numpy('color').astype(np.float64)
        mask = layer.numpy('mask').astype(np.float64) if layer.mask is not None else 1.0
        weight = layer.opacity / 255.0 * mask
        mode = str(layer.blend_mode).split('.')[-1]
        base = np.zeros_like(top) if stacked is None else stacked
        stacked = np.clip(base + weight * (blend(mode, base, top) - base), 0, 1)
    composite = document.numpy('color').astype(np.float64)
    steps = np.abs(stacked - composite) * 65535
    print(json.dumps({'max': float(steps.max()), 'p999': float(np.percentile(steps, 99.9)),
                      'mean': float(steps.mean())}))


if __name__ == '__main__':
    main(sys.argv[1])
