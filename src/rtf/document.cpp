#include "rtf/document.h"

#include "rtf/walker.h"

bool RunDocumentPass(DocumentPass& pass, platform::RtfCallback callback,
                     platform::MemHandle buffer, platform::FileHandle file) {
  BeginOutput(pass.output, file);
  InitRtfInput(pass.input, callback, buffer);
  bool complete = true;
  try {
    // The whole input is walked: bytes before the document's group (a byte-order mark, a
    // line break), a closing brace without its group and anything after the group are
    // copied like the rest, so nothing the host sent is left out.
    while (WalkRtf(pass) != kWalkEnd) {
    }
  } catch (...) {
    // Nothing may escape into the host; what was converted so far is still written.
    complete = false;
  }
  ReleaseRtfInput(pass.input);
  return FlushOutput(pass.output) && complete;
}
