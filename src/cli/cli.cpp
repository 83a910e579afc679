#include "cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/batch.h"
#include "cli/host_simulator.h"
#include "platform/unicode.h"
#include "cli/installation.h"
#include "cli/output_file.h"
#include "cli/progress_line.h"
#include "cli/records.h"
#include "conversion/equation_conversion.h"
#include "converter/converter.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "platform/module.h"
#include "platform/ui.h"
#if defined(VELOTRIX_DOCX)
#include "docx/docx.h"
#endif

#ifndef VELOTRIX_VERSION
#define VELOTRIX_VERSION "dev"
#endif

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The extensions of Word's packages, in lower case.
bool isPackageExtension(const std::string& lowerExtension) {
  for (const char* known : {".docx", ".docm", ".dotx", ".dotm"})
    if (lowerExtension == known) return true;
  return false;
}

constexpr const char* kUsage =
    "Usage: velotrix IN.rtf|IN.docx [-o OUT] [options]\n"
    "       velotrix IN... --output-dir DIR [options]\n"
    "Converts the equation objects (MathType, Equation Editor 3.x) of RTF documents and\n"
    "Word packages (.docx, .docm, .dotx, .dotm, told apart by their content) into native\n"
    "Word equations or Equation 3.0 objects; everything else is copied.\n"
    "Without -o the result goes to NAME.converted.rtf (or .docx ...) beside the input; an\n"
    "input is never overwritten. Use - for IN or OUT to read standard input or write\n"
    "standard output.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE        where to write the converted document (one input only)\n"
    "  --output-dir DIR         write each result into DIR under its input's file name\n"
    "  --format office-math     equations become native Word equations (default)\n"
    "  --format equation3       equations become Equation 3.0 objects\n"
    "  --euclid                 allow MathType (Euclid) fonts\n"
    "  --no-force-unicode       keep apostrophes and primes as plain characters\n"
    "  --lang NAME              messages in english, german, french, polish, russian or\n"
    "                           ukrainian\n"
    "  --options FILE           read options from FILE (lines key=value: eqVersion,\n"
    "                           isEuclid, isUniPrime, pathLanguage), as in server mode\n"
    "  --no-stats               do not print the statistics after each document\n"
    "  --report                 list every equation object left unconverted, with its\n"
    "                           position in the input, its class and the reason\n"
    "  --report json[=FILE]     every equation object as one JSON line (file, index,\n"
    "                           story, position, class, mtef, layout, status, reason)\n"
    "                           on standard error, or in FILE\n"
    "  --extract mathml|latex   write no document: every equation as a JSON line with\n"
    "                           its MathML or LaTeX, on standard output; with -o DIR\n"
    "                           into DIR/equations.jsonl and one eq-0001.mml/.tex each\n"
    "  -j, --jobs N             convert N inputs of a batch at a time (default: the\n"
    "                           number of processors)\n"
    "  --chunk-size N           bytes the host hands over per call (default 65536)\n"
    "  -h, --help               show this text\n"
    "  --version                show the version\n"
    "\n"
    "A result replaces its target only when complete; a failed or interrupted run leaves\n"
    "the previous file as it was.\n"
    "\n"
    "Exit status: 0 success, 2 usage error, 3 unreadable input, 4 output cannot be\n"
    "created, 5 write error, 6 incomplete installation, 128+N ended by signal N; for a\n"
    "batch the highest status of its inputs.\n";

const char* const kLanguages[] = {"english", "german", "french", "polish", "russian", "ukrainian"};

struct Options {
  std::vector<std::string> inputs;
  std::string output;
  std::string outputDir;
  std::string optionsFile;
  std::size_t chunkSize = 64 * 1024;
  bool report = false;
  bool reportJson = false;
  std::string reportFile;  // empty: the JSON report goes to standard error
  FormulaKind extract = FormulaKind::None;
  unsigned jobs = 0;       // 0: the number of processors
  UserOptions choices;
  conversion::EquationSettings equationSettings;  // for Word packages
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "velotrix: %s\nTry 'velotrix --help'.\n", message.c_str());
  return kExitUsage;
}

// Wide text as UTF-8, line breaks as the terminal wants them.
std::string toUtf8(const std::wstring& text) {
  std::string out = platform::wideToUtf8(text);
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  return out;
}

bool stderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

// Parses the arguments into `opts`; returns -1 to go on, or an exit code.
int parseArguments(int argc, char** argv, Options& opts) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::printf("velotrix %s\n", VELOTRIX_VERSION);
      return kExitOk;
    }
    if (arg == "-o" || arg == "--output") {
      if (!value(opts.output)) return usageError("option " + std::string(arg) + " needs a file");
    } else if (arg == "--output-dir") {
      if (!value(opts.outputDir)) return usageError("option --output-dir needs a folder");
    } else if (arg == "--format") {
      std::string format;
      if (!value(format)) return usageError("option --format needs a value");
      if (format == "office-math")
        opts.choices.eqVersion = 1;
      else if (format == "equation3")
        opts.choices.eqVersion = 0;
      else
        return usageError("unknown format '" + format + "' (office-math or equation3)");
    } else if (arg == "--euclid") {
      opts.choices.isEuclid = 1;
    } else if (arg == "--no-force-unicode") {
      opts.choices.isUniPrime = 0;
    } else if (arg == "--report" || arg.substr(0, 9) == "--report=") {
      // "--report json[=FILE]" (or "--report=json[=FILE]") asks for JSON Lines; a bare
      // "--report" for the list of objects left unconverted.
      std::string_view format = arg.size() > 9 ? arg.substr(9) : std::string_view();
      if (format.empty() && i + 1 < argc &&
          (std::string_view(argv[i + 1]) == "json" || std::string_view(argv[i + 1]).substr(0, 5) == "json="))
        format = argv[++i];
      if (format.empty()) {
        opts.report = true;
      } else if (format == "json" || format.substr(0, 5) == "json=") {
        opts.reportJson = true;
        opts.reportFile = format.size() > 5 ? std::string(format.substr(5)) : "";
        if (format.size() == 5) return usageError("option --report json= needs a file");
      } else {
        return usageError("unknown report format '" + std::string(format) + "' (json)");
      }
    } else if (arg == "--extract") {
      std::string kind;
      if (!value(kind)) return usageError("option --extract needs mathml or latex");
      if (kind == "mathml")
        opts.extract = FormulaKind::MathML;
      else if (kind == "latex")
        opts.extract = FormulaKind::Latex;
      else
        return usageError("unknown extraction '" + kind + "' (mathml or latex)");
    } else if (arg == "-j" || arg == "--jobs" || (arg.size() > 2 && arg.substr(0, 2) == "-j")) {
      std::string n = arg.size() > 2 && arg[1] == 'j' ? std::string(arg.substr(2)) : "";
      if (n.empty() && !value(n)) return usageError("option " + std::string(arg) + " needs a number");
      char* end = nullptr;
      const unsigned long jobs = std::strtoul(n.c_str(), &end, 10);
      if (n.empty() || *end != 0 || jobs == 0 || jobs > 256)
        return usageError("bad number of jobs '" + n + "' (1 to 256)");
      opts.jobs = static_cast<unsigned>(jobs);
    } else if (arg == "--no-stats") {
      opts.choices.isStatistics = 0;
    } else if (arg == "--lang") {
      std::string lang;
      if (!value(lang)) return usageError("option --lang needs a language");
      lang = lowerAscii(lang);  // "German" is german
      bool known = false;
      for (const char* l : kLanguages) known = known || lang == l;
      if (!known) return usageError("unknown language '" + lang + "'");
      opts.choices.pathLanguage = lang == "english" ? L"" : std::wstring(lang.begin(), lang.end());
    } else if (arg == "--options") {
      if (!value(opts.optionsFile)) return usageError("option --options needs a file");
    } else if (arg == "--chunk-size") {
      std::string n;
      if (!value(n)) return usageError("option --chunk-size needs a number");
      char* end = nullptr;
      unsigned long long size = std::strtoull(n.c_str(), &end, 10);
      if (n.empty() || *end != 0 || size == 0 || size > (1u << 30))
        return usageError("bad chunk size '" + n + "' (expected 1 to 1073741824 bytes)");
      opts.chunkSize = static_cast<std::size_t>(size);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option '" + std::string(arg) + "'");
    } else {
      opts.inputs.emplace_back(arg);
    }
  }
  if (opts.inputs.empty()) return usageError("no input file given");
  if (opts.extract != FormulaKind::None) {
    // An extraction writes no document; -o names the folder of its files.
    if (opts.inputs.size() > 1) return usageError("--extract takes one input");
    if (!opts.outputDir.empty()) return usageError("--extract writes into -o DIR, not --output-dir");
    opts.choices.isStatistics = 0;
    return -1;
  }
  if (!opts.output.empty() && !opts.outputDir.empty())
    return usageError("-o and --output-dir exclude each other");
  if (opts.inputs.size() > 1 && opts.outputDir.empty())
    return usageError("more than one input given (use --output-dir)");
  for (const auto& in : opts.inputs) {
    if (in == "-" && opts.inputs.size() > 1)
      return usageError("standard input cannot be one of several inputs: its result has no name (convert it alone, with -o)");
    if (in == "-" && opts.output.empty())
      return usageError("no output given for standard input (use -o OUT or -o -)");
  }
  return -1;
}

constexpr std::string_view kZipMagic("PK\x03\x04", 4);
constexpr std::string_view kCompoundMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

enum class InputKind { Rtf, Package, Word97 };

constexpr std::size_t kHeadSize = 64;  // the first bytes read to tell what an input is

// True when the last 64 KB of the file hold a zip's end record, where zip readers look for
// it: a zip with bytes before it (a self-extractor's stub, a header some mail or download
// program left) does not start with a local header but is a zip all the same.
bool endsAsZip(std::string_view bytes) {
  return bytes.substr(bytes.size() > 0xFFFF ? bytes.size() - 0xFFFF : 0).find(std::string_view("PK\x05\x06", 4)) !=
         std::string_view::npos;
}

bool endsAsZip(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return false;
  const std::uintmax_t from = size > 0xFFFF ? size - 0xFFFF : 0;
  std::ifstream in(path, std::ios::binary);
  std::string tail(static_cast<std::size_t>(size - from), '\0');
  if (!in.seekg(static_cast<std::streamoff>(from)) || !in.read(tail.data(), static_cast<std::streamsize>(tail.size())))
    return false;
  return endsAsZip(std::string_view(tail));
}

// False when the first bytes show that the input is not RTF: after a byte-order mark and
// blanks, an RTF document begins with "{\rtf". Blanks alone, or nothing, do not show it
// (an empty input is refused later, as empty).
bool beginsAsRtf(std::string_view head) {
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  const std::size_t text = head.find_first_not_of(" \t\r\n");
  if (text == std::string_view::npos) return true;
  head.remove_prefix(text);
  constexpr std::string_view kRtf = "{\\rtf";
  return head.substr(0, kRtf.size()) == kRtf.substr(0, std::min(head.size(), kRtf.size()));
}

// What a file is, told by its first bytes: a Word package (zip), a Word 97-2003 document
// (compound file) or RTF. A file (not standard input) that does not begin as RTF but ends
// as a zip is a package with bytes before it.
InputKind kindOf(std::string_view head, const std::string& path) {
  if (head.substr(0, 4) == kZipMagic) return InputKind::Package;
  if (head.substr(0, 8) == kCompoundMagic) return InputKind::Word97;
  if (path != "-" && !beginsAsRtf(head) && endsAsZip(path)) return InputKind::Package;
  return InputKind::Rtf;
}

InputKind fileKind(const std::string& path) {
  if (path == "-") return InputKind::Rtf;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return InputKind::Rtf;
  char head[kHeadSize] = {};
  const std::size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return kindOf(std::string_view(head, n), path);
}

// The extension a converted package keeps: its own when it is one of Word's, else .docx.
std::string packageExtension(const fs::path& input) {
  const std::string ext = input.extension().string();
  return isPackageExtension(lowerAscii(ext)) ? ext : ".docx";
}

// Where an input's result goes.
std::string outputPathFor(const Options& opts, const std::string& input) {
  if (!opts.output.empty()) return opts.output;
  if (!opts.outputDir.empty())
    return (fs::path(opts.outputDir) / fs::path(input).filename()).string();
  fs::path p(input);
  const InputKind kind = fileKind(input);
  const std::string ext = kind == InputKind::Package ? packageExtension(p)
                          : kind == InputKind::Word97 ? std::string(".docx")
                                                      : std::string(".rtf");
  return (p.parent_path() / (p.stem().string() + ".converted" + ext)).string();
}

// What identifies the file a path names: the path with "." and ".." and symbolic links
// resolved as far as the file system can, without letter case where that does not count.
std::string fileKey(const std::string& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::path(path), ec);
  std::string key = (ec ? fs::path(path).lexically_normal() : resolved).string();
#if defined(_WIN32)
  key = lowerAscii(key);
#endif
  return key;
}

// Checks, before anything is written, that no output replaces an input and that no two
// inputs share an output. Returns an empty string, or what is wrong.
std::string outputConflict(const Options& opts) {
  std::unordered_map<std::string, std::size_t> inputs, outputs;
  for (std::size_t i = 0; i < opts.inputs.size(); ++i)
    if (opts.inputs[i] != "-") inputs.emplace(fileKey(opts.inputs[i]), i);
  for (std::size_t i = 0; i < opts.inputs.size(); ++i) {
    const std::string& input = opts.inputs[i];
    std::string output = outputPathFor(opts, input);
    if (output == "-") continue;
    std::string key = fileKey(output);
    auto replaced = inputs.find(key);
    std::error_code ec;
    if (replaced == inputs.end() && input != "-" && fs::equivalent(input, output, ec))
      replaced = inputs.find(fileKey(input));
    if (replaced != inputs.end())
      return "refusing to overwrite the input '" + opts.inputs[replaced->second] +
             "' with the result of '" + input + "'";
    auto [shared, added] = outputs.emplace(key, i);
    if (!added)
      return "'" + opts.inputs[shared->second] + "' and '" + input + "' would both be written to '" +
             output + "'";
  }
  // The JSON report file is created before the first input is read.
  if (opts.reportJson && !opts.reportFile.empty()) {
    const std::string key = fileKey(opts.reportFile);
    for (const std::string& input : opts.inputs) {
      std::error_code ec;
      if (input != "-" && (fileKey(input) == key || fs::equivalent(input, opts.reportFile, ec)))
        return "refusing to overwrite the input '" + input + "' with the report";
    }
    if (opts.extract == FormulaKind::None)
      if (auto shared = outputs.find(key); shared != outputs.end())
        return "the report and the result of '" + opts.inputs[shared->second] + "' would both be written to '" +
               opts.reportFile + "'";
  }
  return "";
}

// The progress line of the run, erased before a message box is printed, and the count of
// equations handled when the current file began.
ProgressLine* activeProgress = nullptr;
std::uint64_t handledAtFileStart = 0;

void showEquationProgress() {
  if (!activeProgress) return;
  activeProgress->setCurrentEquations(conversion::equationsHandled() - handledAtFileStart);
  activeProgress->show();
}

// Shows what the converter's message boxes say on standard error; answers as a user who
// presses Enter would.
void installMessagePrinter() {
#if !defined(_WIN32)
  platform::setMessageBoxHandler([](platform::WindowHandle, const std::wstring& text,
                                    const std::wstring& caption, std::uint32_t style) {
    if (activeProgress) activeProgress->clear();
    std::fprintf(stderr, "%s:\n%s\n", toUtf8(caption).c_str(), toUtf8(text).c_str());
    bool cancelDefault = (style & 0xF) == platform::kMbOkCancel && (style & 0xF00) == platform::kMbDefButton2;
    return cancelDefault ? platform::kIdCancel : platform::kIdOk;
  });
#endif
}

// The statistics of a conversion that shows no message box (a package; any input on
// Windows), printed as the message box of an RTF conversion is: its caption, then its text.
void printStatistics(std::uint32_t eqVersion, std::int32_t converted, std::uint32_t uniPrime, std::uint32_t euclid) {
  std::fprintf(stderr, "%s:\n%s\n", toUtf8(kMessageCaption + L"  statistics").c_str(),
               toUtf8(StatisticsMessage(eqVersion, converted, uniPrime, euclid)).c_str());
}

// Lists the equation objects of the last run that stayed as they were.
void printReport(const std::string& input) {
  const std::string name = input == "-" ? "(standard input)" : input;
  for (const UnconvertedObject& o : lastRunUnconverted)
    std::fprintf(stderr, "%s: byte %llu: %s: not converted: %s\n", name.c_str(),
                 static_cast<unsigned long long>(o.inputOffset), o.className.c_str(),
                 o.reason.c_str());
  std::fprintf(stderr, "%s: %d equation(s) converted, %zu left unconverted\n", name.c_str(),
               convertedCount, lastRunUnconverted.size());
}

// The records of one converted input: its JSON report lines and, for an extraction, its
// formulas. Returns an exit code.
int emitRecords(const Options& opts, const std::string& input,
                const std::vector<conversion::EquationRecord>& records, std::FILE* report) {
  const std::string name = input == "-" ? "(standard input)" : input;
  if (report && !writeReport(report, name, records)) {
    std::fprintf(stderr, "velotrix: error while writing the report%s%s\n",
                 opts.reportFile.empty() ? "" : " to ", opts.reportFile.c_str());
    return kExitWrite;
  }
  if (opts.extract != FormulaKind::None) return writeExtraction(name, records, opts.extract, opts.output);
  return kExitOk;
}

// The file an extraction's conversion writes to: none that is kept.
#if defined(_WIN32)
constexpr const char* kNullDevice = "NUL";
#else
constexpr const char* kNullDevice = "/dev/null";
#endif

// Reads the rest of a stream after `head`, or until it holds more than `limit` bytes; false
// on a read error.
bool readAll(std::FILE* in, std::string& bytes, std::size_t limit = static_cast<std::size_t>(-1)) {
  char chunk[1 << 16];
  for (std::size_t n; bytes.size() <= limit && (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
    bytes.append(chunk, n);
  return !std::ferror(in);
}

#if defined(VELOTRIX_DOCX)
// The program's full path when it is on PATH, else empty.
std::string findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  std::size_t at = 0;
  while (at <= dirs.size()) {
    std::size_t colon = dirs.find(':', at);
    if (colon == std::string::npos) colon = dirs.size();
    const std::string dir = dirs.substr(at, colon - at);
    const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    at = colon + 1;
  }
  return {};
}

// LibreOffice's user settings for the conversion: MathType and Equation Editor objects
// stay OLE objects instead of becoming LibreOffice formulas, so that they reach us as they
// are.
constexpr const char* kLibreOfficeSettings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
    "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
    "<item oor:path=\"/org.openoffice.Office.Common/Filter/Microsoft/Import\">"
    "<prop oor:name=\"MathTypeToMath\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
    "</oor:items>\n";
#endif

// Turns a Word 97-2003 document into a Word package with LibreOffice headless, in a
// private profile and folder that are removed afterwards; returns an exit code.
int word97ToPackage(const std::string& input, const std::string& bytes, std::string& package) {
  const std::string name = input == "-" ? "(standard input)" : input;
#if !defined(VELOTRIX_DOCX)
  (void)bytes;
  (void)package;
  std::fprintf(stderr,
               "velotrix: '%s' is a Word 97-2003 document (.doc); this build of velotrix converts\n"
               "RTF documents only. Save the document as RTF.\n",
               name.c_str());
  return kExitInput;
#else
  const std::string soffice = findOnPath("soffice");
  if (soffice.empty()) {
    std::fprintf(stderr,
                 "velotrix: '%s' is a Word 97-2003 document (.doc), which velotrix reads through\n"
                 "LibreOffice, and soffice is not on PATH. Install LibreOffice (on Debian:\n"
                 "apt-get install libreoffice-writer-nogui), or save the document as .docx or RTF.\n",
                 name.c_str());
    return kExitInstall;
  }
  std::string pattern = (fs::temp_directory_path() / "velotrix-doc-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    std::fprintf(stderr, "velotrix: cannot create a temporary folder: %s\n", std::strerror(errno));
    return kExitOutput;
  }
  const fs::path work(pattern);
  struct Cleanup {
    fs::path dir;
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup{work};
  std::error_code ec;
  fs::create_directories(work / "profile" / "user", ec);
  fs::create_directories(work / "out", ec);
  std::ofstream(work / "profile" / "user" / "registrymodifications.xcu") << kLibreOfficeSettings;
  std::ofstream(work / "document.doc", std::ios::binary) << bytes;

  const std::string profile = "-env:UserInstallation=file://" + (work / "profile").string();
  const std::string outDir = (work / "out").string();
  const std::string doc = (work / "document.doc").string();
  const std::string home = "HOME=" + work.string();
  std::vector<std::string> args = {soffice, profile, "--headless", "--norestore", "--nologo",
                                   "--convert-to", "docx:MS Word 2007 XML", "--outdir", outDir, doc};
  const pid_t child = ::fork();
  if (child == 0) {
    ::putenv(const_cast<char*>(home.c_str()));
    const int devnull = ::open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      ::dup2(devnull, STDOUT_FILENO);
      ::dup2(devnull, STDERR_FILENO);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(soffice.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      !fs::exists(work / "out" / "document.docx")) {
    std::fprintf(stderr, "velotrix: LibreOffice could not turn '%s' into a .docx package\n", name.c_str());
    return kExitInput;
  }
  std::FILE* f = std::fopen((work / "out" / "document.docx").string().c_str(), "rb");
  const bool read = f && readAll(f, package);
  if (f) std::fclose(f);
  if (!read) {
    std::fprintf(stderr, "velotrix: cannot read LibreOffice's package for '%s'\n", name.c_str());
    return kExitInput;
  }
  return kExitOk;
#endif
}

// Converts a Word package: the file `input` or, when `package` is not empty, the
// package held there (standard input, LibreOffice's output); returns an exit code.
int convertPackage(const Options& opts, const std::string& input, const std::string& package,
                   const std::string& output, std::FILE* report, std::uint64_t& equations) {
  const std::string name = input == "-" ? "(standard input)" : input;
  const std::string outputName = output == "-" ? "standard output" : "'" + output + "'";
#if !defined(VELOTRIX_DOCX)
  (void)opts;
  (void)package;
  (void)report;
  (void)equations;
  std::fprintf(stderr,
               "velotrix: '%s' is a Word package (.docx); this build of velotrix converts RTF\n"
               "documents only. Save the document as RTF, or use velotrix on Linux for .docx.\n",
               name.c_str());
  (void)outputName;
  return kExitInput;
#else
  if (InitConverter32(nullptr, nullptr) != 1) {
    std::fprintf(stderr, "velotrix: the installation is incomplete\n");
    return kExitInstall;
  }
  docx::DocxConversion conversion(opts.equationSettings);
  const bool converted = package.empty() ? conversion.convertFile(input) : conversion.convertBytes(package);
  const docx::DocxResult& result = conversion.result();
  if (activeProgress) activeProgress->clear();
  if (!converted) {
    std::fprintf(stderr, "velotrix: cannot convert '%s': %s\n", name.c_str(), result.error.c_str());
    return kExitInput;
  }
  equations = result.converted + result.unconverted.size();
  if (opts.extract != FormulaKind::None) return emitRecords(opts, input, result.records, report);
  OutputFile file;
  std::string error;
  if (!file.open(output, error)) {
    std::fprintf(stderr, "velotrix: cannot create %s: %s\n", outputName.c_str(), error.c_str());
    return kExitOutput;
  }
  platform::FileHandle handle = file.handOff();
  bool writeFailed = false;
  std::string packageError;
  const bool packaged = conversion.write(
      [&](std::string_view piece) {
        if (!platform::writeFile(handle, piece.data(), piece.size())) writeFailed = true;
        return !writeFailed;
      },
      packageError);
  const bool closed = platform::closeFile(handle);
  if (packaged && !writeFailed && closed && file.commit(error)) {
    // written
  } else if (!packaged && !writeFailed) {
    std::fprintf(stderr, "velotrix: cannot convert '%s': %s\n", name.c_str(), packageError.c_str());
    return kExitInput;
  } else {
    std::fprintf(stderr, "velotrix: error while writing %s%s%s\n", outputName.c_str(),
                 error.empty() ? "" : ": ", error.c_str());
    return kExitWrite;
  }
  if (opts.report) {
    for (const docx::UnconvertedObject& o : result.unconverted)
      std::fprintf(stderr, "%s: %s: object %s: %s: not converted: %s\n", name.c_str(), o.part.c_str(),
                   o.objectId.empty() ? "-" : o.objectId.c_str(),
                   o.className.empty() ? "-" : o.className.c_str(), o.reason.c_str());
    std::fprintf(stderr, "%s: %d equation(s) converted, %zu left unconverted\n", name.c_str(),
                 result.converted, result.unconverted.size());
  }
  if (opts.choices.isStatistics != 0)
    printStatistics(opts.equationSettings.eqVersion, result.converted, opts.equationSettings.uniPrime ? 1 : 0,
                    opts.equationSettings.euclid ? 1 : 0);
  return emitRecords(opts, input, result.records, report);
#endif
}

// Converts one input through the converter's export entry point; returns an exit code.
int convertOne(const Options& opts, const std::string& input, std::FILE* report,
               std::uint64_t& equations, ProgressLine& progress) {
  const std::string output =
      opts.extract != FormulaKind::None ? std::string(kNullDevice) : outputPathFor(opts, input);
  const std::string outputName = output == "-" ? "standard output" : "'" + output + "'";
  std::error_code folderCheck;
  if (input != "-" && fs::is_directory(input, folderCheck)) {
    std::fprintf(stderr, "velotrix: cannot read '%s': it is a folder\n", input.c_str());
    return kExitInput;
  }
  std::FILE* in = input == "-" ? stdin : std::fopen(input.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "velotrix: cannot read '%s': %s\n", input.c_str(), std::strerror(errno));
    return kExitInput;
  }
  // The converter reads large chunks: they go straight into its buffer, where a stdio
  // buffer would split each read in two and copy it once more.
  std::setvbuf(in, nullptr, _IONBF, 0);
  // The first bytes tell a Word package (a zip) or a Word 97-2003 document from RTF; for
  // RTF they are served first.
  std::string head(kHeadSize, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), in));
  InputKind kind = kindOf(head, input);
  // Standard input that does not begin as RTF is read whole: it may be a zip with bytes
  // before it, which only its end tells. (Beyond 256 MB it is taken for what it begins as.)
  std::string bytes = head;
  bool readWhole = false;
  if (kind == InputKind::Rtf && !beginsAsRtf(head)) {
    constexpr std::size_t kMaxStubbedInput = std::size_t{256} << 20;
    if (in == stdin && !readAll(in, bytes, kMaxStubbedInput)) {
      std::fprintf(stderr, "velotrix: error while reading '%s'\n", input.c_str());
      return kExitInput;
    }
    if (in == stdin && bytes.size() <= kMaxStubbedInput && endsAsZip(std::string_view(bytes))) {
      kind = InputKind::Package;
      readWhole = true;
    } else {
      if (in != stdin) std::fclose(in);
      std::fprintf(stderr, "velotrix: '%s' is not an RTF document: it does not begin with {\\rtf\n",
                   input == "-" ? "(standard input)" : input.c_str());
      return kExitInput;
    }
  }
  // A result is of the input's kind; a name that says the other kind is kept, with a word.
  if (opts.extract == FormulaKind::None && output != "-") {
    const std::string ext = lowerAscii(fs::path(output).extension().string());
    if (kind == InputKind::Rtf ? isPackageExtension(ext) : ext == ".rtf")
      std::fprintf(stderr, "velotrix: warning: '%s' will hold %s, though its name says %s\n", output.c_str(),
                   kind == InputKind::Rtf ? "RTF" : "a Word package", kind == InputKind::Rtf ? "a Word package" : "RTF");
  }
  handledAtFileStart = conversion::equationsHandled();
  if (kind != InputKind::Rtf) progress.beginFile(input == "-" ? "(standard input)" : fs::path(input).filename().string(), 0);
  if (kind == InputKind::Package && in != stdin) {
    // A package file is read where it lies, part by part.
    std::fclose(in);
    return convertPackage(opts, input, std::string(), output, report, equations);
  }
  if (kind != InputKind::Rtf) {
    const bool read = readWhole || readAll(in, bytes);
    if (in != stdin) std::fclose(in);
    if (!read) {
      std::fprintf(stderr, "velotrix: error while reading '%s'\n", input.c_str());
      return kExitInput;
    }
    if (kind == InputKind::Word97) {
      std::string package;
      if (int status = word97ToPackage(input, bytes, package); status != kExitOk) return status;
      bytes = std::move(package);
    }
    return convertPackage(opts, input, bytes, output, report, equations);
  }
  std::size_t headServed = 0;
  auto closeInput = [&] {
    if (in != stdin) std::fclose(in);
  };
  OutputFile result;
  std::string error;
  if (!result.open(output, error)) {
    closeInput();
    std::fprintf(stderr, "velotrix: cannot create %s: %s\n", outputName.c_str(), error.c_str());
    return kExitOutput;
  }

  std::error_code ec;
  const std::uintmax_t size = input == "-" ? 0 : fs::file_size(input, ec);
  progress.beginFile(input == "-" ? "(standard input)" : fs::path(input).filename().string(),
                     ec ? 0 : size);

  // The converter writes to the handle given here; the name only has to fit its buffer.
  const std::string nominal = output == "-" ? "stdout" : fs::path(output).filename().string();
  platform::MemHandle fileName = platform::memAlloc(nominal.size() + 1);
  if (void* p = platform::memLock(fileName)) {
    std::memcpy(p, nominal.c_str(), nominal.size() + 1);
    platform::memUnlock(fileName);
  }
  HostBegin(
      [in, &progress, &head, &headServed](char* dest, std::size_t capacity) -> long {
        if (headServed < head.size()) {
          const std::size_t n = std::min(capacity, head.size() - headServed);
          std::memcpy(dest, head.data() + headServed, n);
          headServed += n;
          progress.advance(n);
          return static_cast<long>(n);
        }
        std::size_t n = std::fread(dest, 1, capacity, in);
        if (n == 0 && std::ferror(in)) return -1;
        progress.advance(n);
        return static_cast<long>(n);
      },
      opts.chunkSize);

  // Each document is one save in a freshly initialised converter, so its statistics
  // count its own equations.
  if (InitConverter32(nullptr, nullptr) != 1) {
    HostEnd();
    platform::memFree(fileName);
    closeInput();
    std::fprintf(stderr, "velotrix: the installation is incomplete\n");
    return kExitInstall;
  }
  lastRunRecords.clear();
  platform::setOutputOverride(result.handOff(), result.flushedAtCommit());
  std::int32_t status = RtfToForeign32(fileName, nullptr, HostBuffer(), nullptr, HostCallback());
  platform::closeFile(platform::setOutputOverride(platform::kInvalidFile));
  const HostRecord host = HostCallsRecord();
  HostEnd();
  platform::memFree(fileName);
  closeInput();
  progress.clear();

  if (status != kRtfDone) {
    std::fprintf(stderr, "velotrix: cannot create %s\n", outputName.c_str());
    return kExitOutput;
  }
  if (host.readError) {
    std::fprintf(stderr, "velotrix: error while reading '%s'\n", input.c_str());
    return kExitInput;
  }
  if (host.bytesServed == 0) {
    std::fprintf(stderr, "velotrix: '%s' is not an RTF document: it is empty\n",
                 input == "-" ? "(standard input)" : input.c_str());
    return kExitInput;
  }
  if (lastRunWriteFailed || !result.commit(error)) {
    if (lastRunWriteFailed && error.empty()) error = platform::lastWriteError();
    std::fprintf(stderr, "velotrix: error while writing %s%s%s\n", outputName.c_str(),
                 error.empty() ? "" : ": ", error.c_str());
    return kExitWrite;
  }
  if (opts.report) printReport(input);
  equations = static_cast<std::uint64_t>(convertedCount) + lastRunUnconverted.size();
  const int recorded = emitRecords(opts, input, lastRunRecords, report);
#if defined(_WIN32)
  // Message boxes would stop a console program, so the statistics are printed here.
  if (opts.choices.isStatistics != 0)
    printStatistics(gSettings.eqVersion, convertedCount, gSettings.isUniPrime, gSettings.isEuclid);
#endif
  return recorded;
}

}  // namespace

int RunVelotrix(int argc, char** argv) {
  Options opts;
  int early = parseArguments(argc, argv, opts);
  if (early >= 0) return early;

  CliInstallation installation;
  installation.path = FindShareFolder();
  installation.choices = opts.choices;
  installation.choices.isProgressWin = 0;  // the terminal gets a progress line instead
#if defined(_WIN32)
  installation.choices.isStatistics = 0;
#endif
  if (!opts.optionsFile.empty()) {
    std::error_code ec;
    fs::path file = fs::absolute(opts.optionsFile, ec);
    if (fs::is_directory(file, ec)) {
      std::fprintf(stderr, "velotrix: cannot read '%s': it is a folder, not an options file\n",
                   opts.optionsFile.c_str());
      return kExitInput;
    }
    OptionsMap options;
    if (LoadOptionsFile(options, file.wstring()) < 0) {
      std::FILE* probe = std::fopen(opts.optionsFile.c_str(), "rb");
      std::fprintf(stderr, "velotrix: cannot read '%s': %s\n", opts.optionsFile.c_str(),
                   probe ? "read error" : std::strerror(errno));
      if (probe) std::fclose(probe);
      return kExitInput;
    }
    if (std::wstring problem = OptionsFileProblem(options); !problem.empty()) {
      std::fprintf(stderr, "velotrix: bad value in '%s': %s\n", opts.optionsFile.c_str(),
                   toUtf8(problem).c_str());
      return kExitUsage;
    }
    installation.optionsFile = file.wstring();
    // Word packages take the same values as the converter reads in server mode.
    auto flag = [&](const wchar_t* key, std::uint32_t& into) {
      auto it = options.find(key);
      if (it != options.end() && !it->second.empty()) into = it->second == L"0" ? 0 : 1;
    };
    flag(L"eqVersion", opts.choices.eqVersion);
    flag(L"isEuclid", opts.choices.isEuclid);
    flag(L"isUniPrime", opts.choices.isUniPrime);
  }
  opts.equationSettings.eqVersion = opts.choices.eqVersion;
  opts.equationSettings.euclid = opts.choices.isEuclid != 0;
  opts.equationSettings.uniPrime = opts.choices.isUniPrime != 0;
  InstallBuiltIn(installation);
  installMessagePrinter();
#if !defined(_WIN32)
  DllMain(platform::standInSelfModule(), kProcessAttach, nullptr);
#endif

  if (std::string conflict = outputConflict(opts); !conflict.empty()) {
    std::fprintf(stderr, "velotrix: %s; nothing was written\n", conflict.c_str());
    return kExitUsage;
  }
  InstallSignalCleanup();

  std::FILE* report = nullptr;
  if (opts.reportJson) {
    report = opts.reportFile.empty() ? stderr : std::fopen(opts.reportFile.c_str(), "wb");
    if (!report) {
      std::fprintf(stderr, "velotrix: cannot create '%s': %s\n", opts.reportFile.c_str(),
                   std::strerror(errno));
      return kExitOutput;
    }
  }
  // Records cost memory for each equation, so they are kept only for a report or an
  // extraction.
  keepEquationRecords = opts.equationSettings.keepRecords = report || opts.extract != FormulaKind::None;
  keepEquationTrees = opts.equationSettings.keepTrees = opts.extract != FormulaKind::None;
  ProgressLine progress(stderrIsTerminal(), opts.inputs.size());
  activeProgress = &progress;
  conversion::setEquationHook(showEquationProgress);
  const int status = runBatch(
      opts.inputs, opts.jobs == 0 ? defaultJobs() : opts.jobs, report, progress,
      [&](std::size_t i, std::FILE* to, std::uint64_t& equations) {
        return convertOne(opts, opts.inputs[i], to, equations, progress);
      });
  progress.clear();
  if (report && report != stderr && std::fclose(report) != 0) {
    std::fprintf(stderr, "velotrix: error while writing '%s'\n", opts.reportFile.c_str());
    return std::max(status, kExitWrite);
  }
  return status;
}
