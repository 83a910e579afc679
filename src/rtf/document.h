// One document pass: the input bound to the host, the walk over the document's outer
// group, and the output flushed.
#pragma once

#include "platform/platform.h"

// Converts the document the host serves through `callback` and `buffer` into
// `outputFile`. Everything after the outer group is neither read nor written.
// Returns false when writing the output failed.
bool RunDocumentPass(platform::RtfCallback callback, platform::MemHandle buffer);
