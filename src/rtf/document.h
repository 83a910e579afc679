// One document pass: the input bound to the host, the walk over the document's outer
// group, and the output flushed.
#pragma once

#include "platform/platform.h"

// Converts the document the host serves through `callback` and `buffer` into
// `outputFile`. Everything after the outer group is neither read nor written.
// Returns false when writing the output failed or the pass had to stop early (out of
// memory); what was converted until then is written either way.
bool RunDocumentPass(platform::RtfCallback callback, platform::MemHandle buffer);
