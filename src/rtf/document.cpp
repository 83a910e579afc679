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
    WalkRtf();
  } catch (...) {
    // Nothing may escape into the host; what was converted so far is still written.
    complete = false;
  }
  ReleaseRtfInput();
  return FlushOutput() && complete;
}
