#pragma once

#include <string>

#include "filters/gif_writer.h"
#include "filters/image_filter.h"
#include "filters/multi/frame_block.h"
#include "platform/message_target.h"

namespace grinsnap {

// Writes one turn of a model filter's model about the vertical axis, a frame
// every rotationSpeed radians, into a looping GIF no larger than maxWidth x
// maxHeight. The block's rotation comes back as it was. False with the
// reason in error when it cannot (no block, a step of 0, a failed frame, an
// unwritable file; no file is left behind).
bool SaveModelTurn(CImageFilter& filter, MeshBlock* mesh, const GifWriterOptions& options, const std::string& path,
                   int maxWidth, int maxHeight, MessageTarget* progress, std::string& error);

}  // namespace grinsnap
