#!/usr/bin/env bash
# Makes the compressed test models of the glTF reader from the shared models. Test data only: run it
# by hand when the shared models or the tools change, and commit what it writes here.
#
#   GlamVelvetSofa-draco.glb    the sofa's meshes Draco-compressed (draco_transcoder, Debian "draco")
#   GlamVelvetSofa-meshopt.glb  the sofa's meshes meshopt-compressed and quantized (gltfpack, npm)
#   SheenChair-webp.glb         the chair meshopt-compressed, its textures as small WebP images
#                               (cwebp, Debian "webp"), required through EXT_texture_webp
#
# The sofa keeps no textures (they are most of its bytes and not what these files test). gltfpack
# comes from npm into a scratch folder outside the repository:
#   npm install --prefix /tmp/gltf-tools gltfpack@0.21.0
#   GLTFPACK=/tmp/gltf-tools/node_modules/.bin/gltfpack tests/data/models/make.sh
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
models=${MODELS:-$here/../../../../shared/models}
gltfpack=${GLTFPACK:-gltfpack}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A GLB or glTF without its images and every texture reference (written as .gltf + .bin).
strip_textures() {
  python3 - "$1" "$2" <<'PY'
import json, struct, sys, os
source, target = sys.argv[1], sys.argv[2]
data = open(source, 'rb').read()
if data[:4] == b'glTF':
    length = struct.unpack('<I', data[12:16])[0]
    doc = json.loads(data[20:20 + length])
    start = 20 + ((length + 3) & ~3)
    binary = data[start + 8:start + 8 + struct.unpack('<I', data[start:start + 4])[0]]
else:
    doc = json.loads(data)
    binary = open(os.path.join(os.path.dirname(source), doc['buffers'][0]['uri']), 'rb').read()
for key in ('images', 'textures', 'samplers'):
    doc.pop(key, None)
def strip(value):
    if isinstance(value, dict):
        for key in [k for k in value if k.endswith('Texture')]:
            del value[key]
        for item in value.values():
            strip(item)
    elif isinstance(value, list):
        for item in value:
            strip(item)
strip(doc.get('materials', []))
doc['extensionsUsed'] = [e for e in doc.get('extensionsUsed', []) if e != 'KHR_texture_transform']
doc['extensionsRequired'] = [e for e in doc.get('extensionsRequired', []) if e != 'KHR_texture_transform']
for key in ('extensionsUsed', 'extensionsRequired'):
    if not doc[key]:
        del doc[key]
doc['buffers'] = [{'byteLength': len(binary), 'uri': os.path.basename(target) + '.bin'}]
open(target + '.bin', 'wb').write(binary)
json.dump(doc, open(target, 'w'))
PY
}

strip_textures "$models/GlamVelvetSofa/GlamVelvetSofa.glb" "$scratch/sofa.gltf"
draco_transcoder -i "$scratch/sofa.gltf" -o "$here/GlamVelvetSofa-draco.glb" -qp 16 -qn 10 -qt 12
"$gltfpack" -i "$scratch/sofa.gltf" -o "$here/GlamVelvetSofa-meshopt.glb" -c -kn -km -vp 16

mkdir "$scratch/chair"
cp "$models/SheenChair/"* "$scratch/chair/"
for png in "$scratch/chair/"*.png; do
  cwebp -quiet -q 80 -resize 64 64 "$png" -o "${png%.png}.webp"
done
python3 - "$scratch/chair/SheenChair.gltf" <<'PY'
import json, sys
path = sys.argv[1]
doc = json.load(open(path))
for image in doc['images']:
    image['uri'] = image['uri'].rsplit('.', 1)[0] + '.webp'
    image['mimeType'] = 'image/webp'
for texture in doc['textures']:
    texture.setdefault('extensions', {})['EXT_texture_webp'] = {'source': texture.pop('source')}
for key in ('extensionsUsed', 'extensionsRequired'):
    doc[key] = sorted(set(doc.get(key, [])) | {'EXT_texture_webp'})
json.dump(doc, open(path, 'w'))
PY
"$gltfpack" -i "$scratch/chair/SheenChair.gltf" -o "$here/SheenChair-webp.glb" -c -kn -km -vp 16
ls -l "$here"/*.glb
