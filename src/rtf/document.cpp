#include "rtf/document.h"

#include "rtf/input.h"
#include "rtf/output.h"
#include "rtf/walker.h"

bool RunDocumentPass(platform::RtfCallback callback, platform::MemHandle buffer) {
  BeginOutput();
  InitRtfInput(callback, buffer);
  BeginDocumentPass();
  WalkRtf();
  ReleaseRtfInput();
  return FlushOutput();
}
