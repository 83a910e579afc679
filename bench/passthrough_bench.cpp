// Pass-through throughput: a generated text-heavy RTF document (100 MB by default, or the
// size in MB given as the first argument) is served through the host simulator in 64 KiB
// chunks and converted to /dev/null. Reports MB/s and the process's peak memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/host_simulator.h"
#include "rtf/document.h"

namespace {

// One paragraph of ordinary formatted prose, as a word processor writes it.
std::string paragraph(int n) {
  std::string p = "\\pard\\plain\\s0\\ql\\li0\\ri0\\sa120\\sl276\\slmult1\\f0\\fs24\\lang1033 ";
  p += "Paragraph " + std::to_string(n) +
       ": the quick brown fox jumps over the lazy dog, and {\\b bold words} follow "
       "{\\i italic ones} with an accented caf\\'e9 and a dash \\u8212?\r\n"
       "before the line goes on with more plain text that fills the page as prose does. ";
  p += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
       "incididunt ut labore et dolore magna aliqua.\\par\r\n";
  return p;
}

}  // namespace

int main(int argc, char** argv) {
  const double megabytes = argc > 1 ? std::atof(argv[1]) : 100.0;
  const std::size_t target = static_cast<std::size_t>(megabytes * 1000 * 1000);

  const std::string header =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}"
      "{\\f1\\fnil Cambria Math Greek;}}{\\colortbl;\\red0\\green0\\blue0;}\r\n";
  std::size_t produced = 0;
  int paragraphs = 0;
  bool started = false, closed = false;
  HostBeginPieces(
      [&](std::string& piece) {
        if (!started) {
          started = true;
          piece = header;
        } else if (produced < target) {
          piece = paragraph(++paragraphs);
        } else if (!closed) {
          closed = true;
          piece = "}";
        }
        produced += piece.size();
        return !piece.empty();
      },
      64 * 1024);

  platform::FileHandle file = platform::createOutputFileA("/dev/null");
  DocumentPass pass;
  auto start = std::chrono::steady_clock::now();
  bool ok = RunDocumentPass(pass, HostCallback(), HostBuffer(), file);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  platform::closeFile(file);
  HostEnd();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("input: %.1f MB in %.3f s\n", produced / 1e6, seconds);
  std::printf("throughput: %.1f MB/s\n", produced / 1e6 / seconds);
  std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return ok ? 0 : 1;
}
