// Compressing the image buffer into "IDAT" chunks.
#include "codecs/png/data_chunk.h"

namespace flipbook {

bool TChunkIDAT::Save(Stream& stream) {
    return TChunk::Save(stream);
}

}  // namespace flipbook
