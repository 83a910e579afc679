#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ole/compound_file.h"
#include "ole/equation_object.h"
#include "../support/corpus.h"

namespace {

const std::uint8_t* bytesOf(const std::string& s) {
  return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::uint32_t get32(const std::string& f, std::size_t off) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(f[off + i]);
  return v;
}
void set32(std::string& f, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) f[off + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}
void set16(std::string& f, std::size_t off, std::uint32_t v) {
  f[off] = static_cast<char>(v & 0xff);
  f[off + 1] = static_cast<char>((v >> 8) & 0xff);
}

// Offsets in a version 3 file whose FAT sits in sector 0 and whose directory is contiguous,
// as our writer lays out small files.
std::size_t fatEntry(std::uint32_t sector) { return 512 + 4 * sector; }
std::size_t dirEntry(const std::string& f, std::uint32_t id) {
  return (get32(f, 48) + 1) * 512 + 128 * id;
}

std::string patterned(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::mt19937 rng(seed);
  for (auto& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

ClassId equationClassId() {
  ClassId id{};
  EXPECT_TRUE(parseClassId(kEquation3ClassId, id));
  return id;
}

std::string readName(const std::string& file, std::string_view name, bool& ok) {
  std::string bytes;
  ok = readCompoundStream(bytesOf(file), file.size(), name, bytes);
  return bytes;
}

}  // namespace

TEST(CompoundCorpus, EveryObjectYieldsItsEquationNativeStream) {
  SKIP_WITHOUT_CORPUS();
  auto corpus = loadCorpus();
  ASSERT_EQ(corpus.size(), 37u);
  for (const auto& e : corpus) {
    SCOPED_TRACE(e.file);
    std::string stream;
    ASSERT_TRUE(readCompoundStream(bytesOf(e.bytes), e.bytes.size(), "Equation Native", stream));
    ASSERT_EQ(stream.size(), e.nativeBytes);
    const std::string hex = toHex(stream);
    EXPECT_EQ(hex.substr(0, 12), "1c0000000200");
    EXPECT_EQ(hex.substr(56, 2), "0" + std::to_string(e.mtefVersion));

    // The same through the object reader, with both compound-file modes and with an odd
    // trailing digit that must be dropped.
    const std::string fileHex = toHex(e.bytes);
    for (const std::string& input : {fileHex, fileHex + "7"}) {
      for (int mode : {3, 5}) {
        HexBytes out = "junk";
        EXPECT_EQ(ReadEquationNative(out, input, mode), 0);
        EXPECT_EQ(out, hex);
      }
    }
  }
}

TEST(CompoundCorpus, NamesMatchCaseInsensitivelyAndRootKeepsClassId) {
  SKIP_WITHOUT_CORPUS();
  auto corpus = loadCorpus();
  for (const auto& e : corpus) {
    SCOPED_TRACE(e.file);
    bool ok = false;
    std::string lower = readName(e.bytes, "equation native", ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(lower.size(), e.nativeBytes);
    std::string ole = readName(e.bytes, "\x01OLE", ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ole.size(), 20u);
    readName(e.bytes, "Equation Nativ", ok);
    EXPECT_FALSE(ok);
    std::vector<CompoundEntry> entries;
    ASSERT_TRUE(listCompoundRootEntries(bytesOf(e.bytes), e.bytes.size(), entries));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].type, kEntryRoot);
    // The root's class id names the server: Equation 3.0 or MathType.
    EXPECT_EQ(formatClassId(entries[0].classId),
              e.className == "Equation.3" ? kEquation3ClassId
                                          : "{0002CE03-0000-0000-C000-000000000046}");
  }
}

TEST(CompoundReader, ObjectReaderResultTable) {
  std::string withEmpty, without;
  ASSERT_TRUE(writeCompoundFile(withEmpty, ClassId{}, {{"Equation Native", ""}, {"x", "abc"}}));
  ASSERT_TRUE(writeCompoundFile(without, ClassId{}, {{"Equation Nativ", "abc"}}));
  struct Case {
    const char* what;
    std::string hex;
    int mode;
    int code;
    std::string out;
  } cases[] = {
      {"empty input", "", 5, 0, ""},
      {"bare MTEF passes through, however short", "0102", 4, 0, "0102"},
      {"bare MTEF passes through any text", "zz", 4, 0, "zz"},
      {"single digit", "d", 5, 1, ""},
      {"not a compound file", "d0cf11e0a1b11ae1", 5, 1, ""},
      {"plain text", "48656c6c6f", 3, 1, ""},
      {"no Equation Native stream", toHex(without), 5, 1, ""},
      {"empty Equation Native stream", toHex(withEmpty), 5, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HexBytes out = "previous";
    EXPECT_EQ(ReadEquationNative(out, c.hex, c.mode), c.code);
    EXPECT_EQ(out, c.out);
  }
}

TEST(CompoundReader, HostileFilesFailFast) {
  // A file with small and large streams; each case breaks one structure.
  const std::string big = patterned(6000, 1);
  std::string good;
  ASSERT_TRUE(writeCompoundFile(good, ClassId{}, {{"Small", "hello"}, {"Equation Native", big}}));
  bool ok = false;
  ASSERT_EQ(readName(good, "Equation Native", ok), big);
  ASSERT_TRUE(ok);
  // Layout of this file: FAT 0, directory 1, mini FAT 2, mini stream 3, big stream 4..15.
  ASSERT_EQ(get32(good, 48), 1u);
  ASSERT_EQ(get32(good, dirEntry(good, 2) + 116), 4u);

  struct Case {
    const char* what;
    std::string file;
  };
  auto patch = [&](auto f) {
    std::string c = good;
    f(c);
    return c;
  };
  std::vector<Case> cases = {
      {"truncated header", good.substr(0, 100)},
      {"header only", good.substr(0, 512)},
      {"truncated in the large stream", good.substr(0, 512 * 8)},
      {"random bytes", patterned(4096, 7)},
      {"random bytes behind a signature", good.substr(0, 8) + patterned(4096, 8)},
      {"bad signature", patch([](std::string& f) { f[0] = 0; })},
      {"sector shift 10", patch([](std::string& f) { set16(f, 30, 10); })},
      {"sector shift 40", patch([](std::string& f) { set16(f, 30, 40); })},
      {"version 4 with 512-byte sectors", patch([](std::string& f) { set16(f, 26, 4); })},
      {"mini sector shift 7", patch([](std::string& f) { set16(f, 32, 7); })},
      {"huge FAT sector count", patch([](std::string& f) { set32(f, 44, 0xFFFFFFF0); })},
      {"FAT sector outside the file", patch([](std::string& f) { set32(f, 76, 5000); })},
      {"DIFAT chain looping", patch([](std::string& f) {
         // Enough room for 240 FAT sectors, so only the loop itself can stop the reader.
         f += std::string(250 * 512, '\0');
         set32(f, 44, 240);
         for (int i = 0; i < 109; ++i) set32(f, 76 + 4 * i, 0);
         set32(f, 68, 20);
         set32(f, 21 * 512 + 508, 20);
       })},
      {"directory chain looping", patch([](std::string& f) { set32(f, fatEntry(1), 1); })},
      {"directory starts outside the file", patch([](std::string& f) { set32(f, 48, 999999); })},
      {"root points at itself", patch([](std::string& f) { set32(f, dirEntry(f, 0) + 76, 0); })},
      {"tree loops", patch([](std::string& f) {
         std::uint32_t top = get32(f, dirEntry(f, 0) + 76);
         set32(f, dirEntry(f, top) + 68, top);
         set32(f, dirEntry(f, top) + 72, top);
       })},
      {"tree points outside the directory",
       patch([](std::string& f) { set32(f, dirEntry(f, 0) + 76, 1000); })},
      {"entry 0 is not a root", patch([](std::string& f) { f[dirEntry(f, 0) + 66] = 2; })},
      {"large stream chain loops", patch([](std::string& f) { set32(f, fatEntry(6), 5); })},
      {"large stream chain leaves the file", patch([](std::string& f) { set32(f, fatEntry(6), 77777); })},
      {"large stream chain ends early", patch([](std::string& f) { set32(f, fatEntry(6), 0xFFFFFFFE); })},
      {"large stream size beyond the file",
       patch([](std::string& f) { set32(f, dirEntry(f, 2) + 120, 0xFFFFFF00); })},
      {"version 4 size beyond the file", patch([](std::string& f) {
         set32(f, dirEntry(f, 2) + 124, 0x7FFFFFFF);
         set16(f, 26, 4);
         set16(f, 30, 12);
       })},
      {"mini stream larger than the file",
       patch([](std::string& f) { set32(f, dirEntry(f, 0) + 120, 0x7FFFFFFF); })},
  };
  // The small stream: mini FAT chain loops, mini sector beyond the mini stream.
  cases.push_back({"mini chain loops", patch([](std::string& f) {
                     set32(f, dirEntry(f, 1) + 120, 200);
                     set32(f, 512 * 3, 0);
                   })});
  cases.push_back({"mini sector beyond the mini stream",
                   patch([](std::string& f) { set32(f, dirEntry(f, 1) + 116, 3); })});
  cases.push_back({"mini FAT chain loops", patch([](std::string& f) { set32(f, fatEntry(2), 2); })});

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto t0 = std::chrono::steady_clock::now();
    std::string both;
    bool okBig = readCompoundStream(bytesOf(c.file), c.file.size(), "Equation Native", both);
    bool okSmall = readCompoundStream(bytesOf(c.file), c.file.size(), "Small", both);
    EXPECT_FALSE(okBig && okSmall);
    EXPECT_TRUE(both.empty() || okSmall);
    HexBytes out = "x";
    std::string hex = toHex(c.file);
    int code = ReadEquationNative(out, hex, 5);
    if (!okBig) {
      EXPECT_EQ(code, 1);
      EXPECT_EQ(out, "");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  }
}

TEST(CompoundReader, RandomCorruptionNeverCrashes) {
  // Flip bytes in the structural parts of a valid file; every read must end cleanly and
  // what it returns must fit in the file.
  std::string good;
  ASSERT_TRUE(writeCompoundFile(good, ClassId{}, {{"a", "tiny"}, {"b", patterned(5000, 2)},
                                                  {"Equation Native", patterned(900, 3)}}));
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string f = good;
    int flips = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      // Mostly the header, FAT, directory and mini FAT (first 5 sectors).
      std::size_t at = rng() % (rng() % 4 ? 512 * 5 : f.size());
      f[at] = static_cast<char>(rng() & 0xff);
    }
    if (rng() % 8 == 0) f.resize(rng() % f.size());
    for (const char* name : {"a", "b", "Equation Native"}) {
      std::string bytes;
      if (readCompoundStream(bytesOf(f), f.size(), name, bytes)) {
        EXPECT_LE(bytes.size(), f.size());
      }
    }
    std::vector<CompoundEntry> entries;
    listCompoundRootEntries(bytesOf(f), f.size(), entries);
  }
}

TEST(CompoundWriter, RoundTripThroughOurReader) {
  const std::size_t sizes[] = {0, 1, 63, 64, 65, 4095, 4096, 4097, 100 * 1024, 10 * 1024 * 1024};
  for (std::size_t size : sizes) {
    SCOPED_TRACE(size);
    const std::string payload = patterned(size, static_cast<unsigned>(size));
    std::string file;
    ASSERT_TRUE(writeCompoundFile(file, equationClassId(),
                                  {{"\x01Ole", std::string(20, '\x01')},
                                   {"Equation Native", payload},
                                   {"Tail", "xyz"}}));
    EXPECT_EQ(file.size() % 512, 0u);
    bool ok = false;
    EXPECT_EQ(readName(file, "Equation Native", ok), payload);
    EXPECT_TRUE(ok);
    EXPECT_EQ(readName(file, "tail", ok), "xyz");
    EXPECT_EQ(readName(file, "\x01Ole", ok), std::string(20, '\x01'));
    std::vector<CompoundEntry> entries;
    ASSERT_TRUE(listCompoundRootEntries(bytesOf(file), file.size(), entries));
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(formatClassId(entries[0].classId), kEquation3ClassId);
    EXPECT_EQ(entries[2].size, size);
  }
  // 10 MB needs more than 109 FAT sectors, so the file must carry DIFAT sectors.
  std::string file;
  ASSERT_TRUE(writeCompoundFile(file, ClassId{}, {{"s", std::string(10 * 1024 * 1024, 'q')}}));
  EXPECT_GT(get32(file, 44), 109u);
  EXPECT_GE(get32(file, 72), 1u);
}

TEST(CompoundWriter, DirectoryTreeIsSortedAndRedBlack) {
  // Structured storage finds names by searching the tree, so order and colours matter even
  // though our own reader walks the whole tree.
  for (int n = 1; n <= 40; ++n) {
    SCOPED_TRACE(n);
    std::vector<CompoundStream> streams;
    for (int i = 0; i < n; ++i) {
      // Mixed lengths and cases so that the length-first, case-blind order is exercised.
      std::string name = (i % 3 == 0 ? "S" : "s") + std::string(static_cast<std::size_t>(i % 5), 'x') +
                         std::to_string((i * 7) % n) + "_" + std::to_string(i);
      streams.push_back({name, std::string(static_cast<std::size_t>(i), 'a')});
    }
    std::string file;
    ASSERT_TRUE(writeCompoundFile(file, ClassId{}, streams));
    for (const auto& s : streams) {
      bool ok = false;
      EXPECT_EQ(readName(file, s.name, ok), s.bytes);
      EXPECT_TRUE(ok) << s.name;
    }
    // Check the tree: in-order names strictly increase, red nodes have black children,
    // every path to a leaf crosses the same number of black nodes.
    auto key = [&](std::uint32_t id) {
      std::size_t off = dirEntry(file, id);
      std::string name;
      std::size_t chars = (get32(file, off + 64) & 0xFFFF) / 2 - 1;
      for (std::size_t k = 0; k < chars; ++k)
        name += static_cast<char>(std::toupper(static_cast<unsigned char>(file[off + 2 * k])));
      return std::make_pair(name.size(), name);
    };
    std::vector<std::pair<std::size_t, std::string>> inorder;
    int blackHeight = -1;
    bool valid = true;
    // Recursive lambda bounded by the tree height (40 entries).
    std::function<void(std::uint32_t, int, bool)> walk = [&](std::uint32_t id, int blacks, bool parentRed) {
      if (id == 0xFFFFFFFF) {
        if (blackHeight < 0) blackHeight = blacks;
        valid = valid && blackHeight == blacks;
        return;
      }
      std::size_t off = dirEntry(file, id);
      bool red = file[off + 67] == 0;
      valid = valid && !(red && parentRed);
      walk(get32(file, off + 68), blacks + (red ? 0 : 1), red);
      inorder.push_back(key(id));
      walk(get32(file, off + 72), blacks + (red ? 0 : 1), red);
    };
    std::uint32_t top = get32(file, dirEntry(file, 0) + 76);
    EXPECT_EQ(file[dirEntry(file, top) + 67], 1) << "root must be black";
    walk(top, 0, false);
    EXPECT_TRUE(valid);
    ASSERT_EQ(inorder.size(), static_cast<std::size_t>(n));
    for (std::size_t i = 1; i < inorder.size(); ++i) EXPECT_LT(inorder[i - 1], inorder[i]);
  }
}

TEST(CompoundWriter, RejectsWhatAFileCannotHold) {
  struct Case {
    const char* what;
    std::vector<CompoundStream> streams;
  } cases[] = {
      {"empty name", {{"", "x"}}},
      {"32-character name", {{std::string(32, 'n'), "x"}}},
      {"name with a slash", {{"a/b", "x"}}},
      {"duplicate names differing in case", {{"Equation Native", "x"}, {"EQUATION NATIVE", "y"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "stale";
    EXPECT_FALSE(writeCompoundFile(out, ClassId{}, c.streams));
    EXPECT_TRUE(out.empty());
  }
  std::string out;
  EXPECT_TRUE(writeCompoundFile(out, ClassId{}, {{std::string(31, 'n'), "x"}}));
  EXPECT_TRUE(writeCompoundFile(out, ClassId{}, {}));
}

TEST(CompoundWriter, OlefileReadsWhatWeWrite) {
  if (!std::filesystem::exists("/usr/bin/python3") ||
      std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "python3-olefile not available";
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path() / ("velotrix-ole-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                              "-" + std::to_string(reinterpret_cast<std::uintptr_t>(&dir)));
  fs::create_directories(dir);
  const std::size_t sizes[] = {0, 1, 4095, 4096, 100 * 1024, 10 * 1024 * 1024};
  int index = 0;
  for (std::size_t size : sizes) {
    std::string payload = patterned(size, 99 + static_cast<unsigned>(size));
    std::string file;
    ASSERT_TRUE(writeCompoundFile(file, equationClassId(),
                                  {{"\x01" "CompObj", std::string(102, 'c')},
                                   {"Equation Native", payload},
                                   {"\x01Ole", std::string(20, 'o')},
                                   {"\x03ObjInfo", std::string(6, '\0')}}));
    std::ofstream(dir / ("f" + std::to_string(index) + ".cfb"), std::ios::binary) << file;
    std::ofstream(dir / ("f" + std::to_string(index) + ".native"), std::ios::binary) << payload;
    ++index;
  }
  // And a complete Equation 3.0 object's compound file.
  const std::string native = "\x1c" + patterned(300, 5);
  std::ofstream(dir / "object.cfb", std::ios::binary) << buildEquation3CompoundFile(native);
  std::ofstream(dir / "object.native", std::ios::binary) << native;
  ++index;
  // Strict parsing: olefile raises on any structural defect it notices.
  const std::string script =
      "import olefile, sys, glob\n"
      "for p in sorted(glob.glob(sys.argv[1] + '/*.cfb')):\n"
      "    ole = olefile.OleFileIO(p, raise_defects=olefile.DEFECT_INCORRECT)\n"
      "    want = open(p[:-4] + '.native', 'rb').read()\n"
      "    got = ole.openstream('Equation Native').read()\n"
      "    names = sorted('/'.join(e) for e in ole.listdir())\n"
      "    ok = got == want and ole.root.clsid == '0002CE02-0000-0000-C000-000000000046' \\\n"
      "        and names == ['\\x01CompObj', '\\x01Ole', '\\x03ObjInfo', 'Equation Native'] \\\n"
      "        and len(ole.openstream('\\x01CompObj').read()) == 102\n"
      "    print(p.split('/')[-1], 'ok' if ok else 'BAD', len(got), ole.root.clsid, names)\n";
  std::ofstream(dir / "check.py") << script;
  std::string cmd = "/usr/bin/python3 " + (dir / "check.py").string() + " " + dir.string() + " 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buf[512];
  while (std::fgets(buf, sizeof buf, pipe)) output += buf;
  int status = pclose(pipe);
  fs::remove_all(dir);
  EXPECT_EQ(status, 0) << output;
  int okLines = 0;
  for (std::size_t p = output.find(" ok "); p != std::string::npos; p = output.find(" ok ", p + 1)) ++okLines;
  EXPECT_EQ(okLines, index) << output;
}
