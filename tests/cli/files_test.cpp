// What the command line does to the files around a conversion: a run that fails, is
// interrupted or races another leaves the previous output whole and no partial file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cli/cli.h"
#include "cli/cli_run.h"

namespace fs = std::filesystem;

namespace {

// A document of about `kilobytes` KB that converts to itself.
std::string largeDocument(std::size_t kilobytes, char letter) {
  std::string doc = "{\\rtf1 ";
  const std::string paragraph = "\\par " + std::string(1019, letter);
  while (doc.size() < kilobytes * 1024) doc += paragraph;
  return doc + "}";
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Files in `dir` left behind by a run: anything but the names given.
std::vector<std::string> strayFiles(const std::string& dir, std::initializer_list<std::string> known) {
  std::vector<std::string> stray;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) stray.push_back(name);
  }
  return stray;
}

struct Folder {
  std::string path = tempPath("files");
  Folder() {
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

TEST(CliFiles, FailedRunsKeepThePreviousOutput) {
  Folder dir;
  writeFile(dir / "empty.rtf", "");
  writeFile(dir / "paper.rtf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\r\n1 0 obj");
  writeFile(dir / "big.rtf", largeDocument(300, 'x'));
  writeFile(dir / "eq99.opt", "eqVersion=99\n");
  writeFile(dir / "euclid.opt", "isEuclid = 2\n");
  writeFile(dir / "prime.opt", "isUniPrime=yes\n");
  writeFile(dir / "lang.opt", "pathLanguage=klingon\n");
  fs::create_directories(dir / "folder");
  const std::string out = dir / "out.rtf";
  struct Case {
    std::string prefix;
    std::string args;
    int status;
    std::string errContains;
  } cases[] = {
      {"", dir / "empty.rtf", kExitInput, "'" + (dir / "empty.rtf") + "' is not an RTF document"},
      {"", "-", kExitInput, "(standard input)' is not an RTF document"},
      {"", dir / "paper.rtf", kExitInput, "is not an RTF document: it does not begin with {\\rtf"},
      {"", dir / "missing.rtf", kExitInput, "cannot read"},
      {"", dir / "folder", kExitInput, "it is a folder"},
      // The file size limit (in blocks of 512 or 1024 bytes) stops the write halfway.
      {"ulimit -f 100;", dir / "big.rtf", kExitWrite, "error while writing '" + out + "'"},
      {"", "- --options " + (dir / "eq99.opt"), kExitUsage,
       "bad value in '" + (dir / "eq99.opt") + "': eqVersion=99"},
      {"", "- --options " + (dir / "euclid.opt"), kExitUsage, "isEuclid= 2 (expected 0 or 1)"},
      {"", "- --options " + (dir / "prime.opt"), kExitUsage, "isUniPrime=yes"},
      {"", "- --options " + (dir / "lang.opt"), kExitUsage, "pathLanguage=klingon"},
      {"", "- --options " + (dir / "folder"), kExitInput, "it is a folder"},
  };
  for (const Case& c : cases) {
    writeFile(out, "previous");
    CliRun r = velotrix(c.args + " -o " + out + " --no-stats", "", c.prefix);
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(readFile(out), "previous") << c.args;
    EXPECT_EQ(strayFiles(dir.path, {"empty.rtf", "paper.rtf", "big.rtf", "eq99.opt", "euclid.opt", "prime.opt",
                                    "lang.opt", "folder", "out.rtf"}),
              std::vector<std::string>{})
        << c.args;
  }
}

TEST(CliFiles, OutputPlaces) {
  Folder dir;
  const std::string doc = "{\\rtf1 a}";
  writeFile(dir / "in.rtf", doc);

  // Standard output needs no temporary folder.
  CliRun r = velotrix(dir / "in.rtf -o - --no-stats", "", "TMPDIR=/nonexistent");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, doc);
  // A byte-order mark and blank lines before the document are no reason to refuse it.
  const std::string marked = "\xEF\xBB\xBF\r\n\r\n" + doc;
  r = velotrix("- -o - --no-stats", marked);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "\xEF\xBB\xBF" + doc);  // line ends outside text mean nothing in RTF

  // A path longer than 511 bytes.
  std::string deep = dir.path;
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(200, 'd');
  fs::create_directories(deep);
  r = velotrix(dir / "in.rtf -o " + deep + "/out.rtf --no-stats");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(deep + "/out.rtf"), doc);

  // A replaced file keeps its permissions; through a symbolic link the linked file is
  // replaced and the link stays.
  writeFile(dir / "target.rtf", "previous");
  fs::permissions(dir / "target.rtf", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(dir / "target.rtf", dir / "link.rtf");
  r = velotrix(dir / "in.rtf -o " + (dir / "link.rtf") + " --no-stats");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir / "link.rtf"));
  EXPECT_EQ(readFile(dir / "target.rtf"), doc);
  EXPECT_EQ(fs::status(dir / "target.rtf").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// Starts velotrix reading a FIFO, feeds it part of a large document, waits until the
// temporary output has data, then sends `signal`.
TEST(CliFiles, SignalMidRunRemovesTheTemporaryFile) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    Folder dir;
    const std::string fifo = dir / "in.fifo", out = dir / "out.rtf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writeFile(out, "previous");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, STDERR_FILENO);
      ::execl(VELOTRIX_CLI, VELOTRIX_CLI, fifo.c_str(), "-o", out.c_str(), "--no-stats",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int feed = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(feed, 0);
    const std::string doc = largeDocument(2048, 'x');
    const std::size_t half = doc.size() / 2;
    ASSERT_EQ(::write(feed, doc.data(), half), static_cast<ssize_t>(half));
    bool midRun = false;
    for (int i = 0; i < 500 && !midRun; ++i) {
      for (const auto& entry : fs::directory_iterator(dir.path))
        midRun = midRun || (entry.path().filename().string().rfind(".velotrix-", 0) == 0 &&
                            entry.file_size() > 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(midRun) << "no partial output seen";
    ::kill(child, signal);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(feed);
    EXPECT_TRUE(WIFEXITED(status)) << signal;
    EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    EXPECT_EQ(readFile(out), "previous") << signal;
    EXPECT_EQ(strayFiles(dir.path, {"in.fifo", "out.rtf"}), std::vector<std::string>{}) << signal;
  }
}

TEST(CliFiles, ConcurrentRunsToOneOutputGiveOneCompleteResult) {
  Folder dir;
  const std::string a = largeDocument(4096, 'a'), b = largeDocument(4096, 'b');
  writeFile(dir / "a.rtf", a);
  writeFile(dir / "b.rtf", b);
  const std::string out = dir / "out.rtf";
  const std::string run = std::string(VELOTRIX_CLI) + " --no-stats -o " + out + " ";
  for (int round = 0; round < 4; ++round) {
    std::string cmd = run + (dir / "a.rtf") + " & " + run + (dir / "b.rtf") + " & wait";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string result = readFile(out);
    EXPECT_TRUE(result == a || result == b) << "round " << round << ": " << result.size() << " bytes";
    EXPECT_EQ(strayFiles(dir.path, {"a.rtf", "b.rtf", "out.rtf"}), std::vector<std::string>{});
  }
}

}  // namespace
