// Hostile inputs that must finish quickly and leave the document intact: 1,000,000 nested
// RTF groups, an equation of 100,000 nested templates, a compound file whose sector chain
// loops, and a \bin that claims 2 GB. Reports the time of each.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "cli/host_simulator.h"
#include "ole/equation_object.h"
#include "rtf/document.h"
#include "support/objects.h"

namespace {

DocumentPass lastPass;

// Converts a document held in memory to /dev/null.
void convert(const std::string& doc) {
  HostBeginString(doc, 64 * 1024);
  platform::FileHandle file = platform::createOutputFileA("/dev/null");
  lastPass = DocumentPass{};
  RunDocumentPass(lastPass, HostCallback(), HostBuffer(), file);
  platform::closeFile(file);
  HostEnd();
}

void timed(const char* name, const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-40s %8.1f ms\n", name, ms);
}

// A compound file whose directory chain points back at itself.
std::string loopingCompoundFile() {
  std::string h = std::string("\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", 8) + std::string(16, '\0') +
                  le(0x3e, 2) + le(3, 2) + le(0xfffe, 2) + le(9, 2) + le(6, 2) + std::string(6, '\0') +
                  le(0, 4) + le(1, 4) + le(1, 4) + le(0, 4) + le(4096, 4) + le(0xfffffffe, 4) +
                  le(0, 4) + le(0xfffffffe, 4) + le(0, 4) + le(0, 4);
  for (int i = 1; i < 109; ++i) h += le(0xffffffff, 4);
  std::string fat = le(0xfffffffd, 4) + le(1, 4);  // sector 1 continues in itself
  fat.resize(512, '\xff');
  std::string dir(512, '\0');
  return h + fat + dir;
}

}  // namespace

int main() {
  timed("1,000,000 nested groups", [] {
    convert(std::string(1000000, '{') + "x" + std::string(1000000, '}'));
  });

  timed("100,000 nested templates in an object", [] {
    // MTEF 5: a line holding fraction after fraction, each in the numerator of the last.
    std::string mtef = std::string("\x05\x01\x01\x06\x00", 5) + "DSMT6" + std::string(1, '\0') +
                       std::string(1, '\0') + std::string("\x01\x00", 2);
    for (int i = 0; i < 100000; ++i) mtef += std::string("\x03\x00\x0b\x00\x00\x01\x00", 7);
    // The bare-MTEF "Equation" class carries the records without a compound file.
    convert("{\\rtf1{\\object{\\*\\objdata " + objectRecordHex("Equation", mtef) + "}}}");
    std::printf("  converted %d, left unconverted %zu: %s\n", lastPass.converted, lastPass.unconverted.size(),
                lastPass.unconverted.empty() ? "" : lastPass.unconverted[0].reason.c_str());
  });

  timed("compound file whose sector chain loops", [] {
    std::string stream;
    const std::string file = loopingCompoundFile();
    const bool read = ReadEquationNative(file, NativeForm::CompoundFile, stream);
    std::printf("  stream read: %s\n", read ? "yes" : "no");
  });

  timed("\\bin claiming 2 GB", [] { convert("{\\rtf1\\bin2000000000 abc}"); });
  return 0;
}
