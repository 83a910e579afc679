// One document pass: the input bound to the host, the walk over the whole input, and the
// output flushed.
#pragma once

#include "platform/platform.h"

// Converts the document the host serves through `callback` and `buffer` into
// `outputFile`. The input is read to its end: what stands before or after the outer
// group, or after a closing brace that has no group, is copied too.
// Returns false when writing the output failed or the pass had to stop early (out of
// memory); what was converted until then is written either way.
bool RunDocumentPass(platform::RtfCallback callback, platform::MemHandle buffer);
