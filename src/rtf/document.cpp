#include "rtf/document.h"

#include "rtf/input.h"
#include "rtf/output.h"
#include "rtf/walker.h"

bool RunDocumentPass(platform::RtfCallback callback, platform::MemHandle buffer) {
  BeginOutput();
  InitRtfInput(callback, buffer);
  BeginDocumentPass();
  bool complete = true;
  try {
    // The whole input is walked: bytes before the document's group (a byte-order mark, a
    // line break), a closing brace without its group and anything after the group are
    // copied like the rest, so nothing the host sent is left out.
    while (WalkRtf() != kWalkEnd) {
    }
  } catch (...) {
    // Nothing may escape into the host; what was converted so far is still written.
    complete = false;
  }
  ReleaseRtfInput();
  return FlushOutput() && complete;
}
