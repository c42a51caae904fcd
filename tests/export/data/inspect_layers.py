# Reads a layered document with psd-tools and reports what an independent reader sees: the
# document, every layer's properties (JSON on standard output) and every layer's, mask's and the
# composite's 16-bit samples as raw little-endian files in the output folder.
import json
import sys

import numpy as np
from psd_tools import PSDImage


def samples(array):
    return np.round(np.asarray(array, dtype=np.float64) * 65535).astype('<u2')


def main(path, out):
    document = PSDImage.open(path)
    report = {
        'version': document.version,
        'width': document.width,
        'height': document.height,
        'depth': document.depth,
        'resources': sorted(int(key) for key in document.image_resources.keys()),
        'layers': [],
    }
    for index, layer in enumerate(document):
        entry = {
            'name': layer.name,
            'blend': str(layer.blend_mode).split('.')[-1],
            'opacity': layer.opacity,
            'visible': layer.visible,
            'mask': None,
            'id': layer.layer_id,
        }
        samples(layer.numpy('color')).tofile('%s/layer%d.raw' % (out, index))
        if layer.mask is not None:
            entry['mask'] = {'default': layer.mask.background_color, 'size': list(layer.mask.size)}
            samples(layer.numpy('mask')).tofile('%s/mask%d.raw' % (out, index))
        report['layers'].append(entry)
    samples(document.numpy('color')).tofile('%s/composite.raw' % out)
    print(json.dumps(report))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
