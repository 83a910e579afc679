// Pass-through throughput: a generated text-heavy RTF document (100 MB by default, or the
// size in MB given as the first argument) is written to a scratch file and converted, next
// to a plain copy of the same file (see bench_support.h). Reports both speeds, their
// ratio and the process's peak memory.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
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
  bench::Scratch scratch;
  if (!scratch.ok()) return 1;
  const std::string input = scratch.file("passthrough.rtf");
  const std::uint64_t size = bench::writeInput(input, [&](std::string& piece) {
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
  });
  const bench::Timings t = bench::measure(input, scratch, [](DocumentPass&) {}, [](const DocumentPass&) {});
  bench::report(size, t);
  return t.ok ? 0 : 1;
}
