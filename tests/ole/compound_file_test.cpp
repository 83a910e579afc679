#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "ole/compound_file.h"
#include "ole/equation_object.h"
#include "../support/corpus.h"

namespace {

const std::uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

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
// Offsets in a small version 3 file: FAT in sector 0, contiguous directory.
std::size_t fatEntry(std::uint32_t sector) { return 512 + 4 * sector; }
std::size_t dirEntry(const std::string& f, std::uint32_t id) { return (get32(f, 48) + 1) * 512 + 128 * id; }

std::string patterned(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::mt19937 rng(seed);
  for (auto& c : s) c = static_cast<char>(rng() & 0xff);
  return s;
}

// The stream's bytes, or nothing when the reader refuses; a refusal must leave no bytes behind.
std::optional<std::string> readName(const std::string& file, std::string_view name) {
  std::string bytes = "stale";
  if (readCompoundStream(bytesOf(file), file.size(), name, bytes)) return bytes;
  EXPECT_EQ(bytes, "") << name;
  return std::nullopt;
}

}  // namespace

TEST(CompoundCorpus, EveryObjectYieldsItsEquationNativeStream) {
  SKIP_WITHOUT_CORPUS();
  auto corpus = loadCorpus();
  ASSERT_EQ(corpus.size(), 37u);
  for (const auto& e : corpus) {
    SCOPED_TRACE(e.file);
    const auto stream = readName(e.bytes, "Equation Native");
    ASSERT_TRUE(stream);
    const std::string hex = toHex(*stream);
    ASSERT_EQ(hex.size(), 2 * e.nativeBytes);
    EXPECT_EQ(hex.substr(0, 12), "1c0000000200");
    EXPECT_EQ(hex.substr(56, 2), "0" + std::to_string(e.mtefVersion));
    // Names match case-blind, but only whole names.
    EXPECT_EQ(readName(e.bytes, "EQUATION native"), stream);
    EXPECT_FALSE(readName(e.bytes, "Equation Nativ"));
    std::vector<CompoundEntry> entries;
    ASSERT_TRUE(listCompoundRootEntries(bytesOf(e.bytes), e.bytes.size(), entries));
    EXPECT_EQ(formatClassId(entries.at(0).classId),
              e.className == "Equation.3" ? kEquation3ClassId : "{0002CE03-0000-0000-C000-000000000046}");

    // The object reader, also with data after the compound file.
    for (const std::string& input : {e.bytes, e.bytes + "7"}) {
      std::string out = "junk";
      EXPECT_TRUE(ReadEquationNative(input, NativeForm::CompoundFile, out));
      EXPECT_EQ(toHex(out), hex);
    }
  }
}

TEST(CompoundReader, ObjectReaderResultTable) {
  std::string withEmpty, without;
  ASSERT_TRUE(writeCompoundFile(withEmpty, ClassId{}, {{"Equation Native", ""}, {"x", "abc"}}));
  ASSERT_TRUE(writeCompoundFile(without, ClassId{}, {{"Equation Nativ", "abc"}}));
  struct Case {
    const char* what;
    std::string data;
    NativeForm form;
    bool read;
    std::string out;
  } cases[] = {
      {"empty input", "", NativeForm::CompoundFile, true, ""},
      {"bare MTEF passes through, however short", "\x01\x02", NativeForm::BareMtef, true, "\x01\x02"},
      {"single byte", "\xd0", NativeForm::CompoundFile, false, ""},
      {"signature only", "\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", NativeForm::CompoundFile, false, ""},
      {"no Equation Native stream", without, NativeForm::CompoundFile, false, ""},
      {"empty Equation Native stream", withEmpty, NativeForm::CompoundFile, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "previous";
    EXPECT_EQ(ReadEquationNative(c.data, c.form, out), c.read);
    EXPECT_EQ(out, c.out);
  }
}

TEST(CompoundReader, HostileFilesFailFast) {
  const std::string big = patterned(6000, 1);
  std::string good;
  ASSERT_TRUE(writeCompoundFile(good, ClassId{}, {{"Small", "hello"}, {"Equation Native", big}}));
  // Layout: FAT 0, directory 1, mini FAT 2, mini stream 3, the large stream in 4..15.
  ASSERT_EQ(get32(good, 48), 1u);
  ASSERT_EQ(get32(good, dirEntry(good, 2) + 116), 4u);
  auto patch = [&](auto f) {
    std::string c = good;
    f(c);
    return c;
  };
  using F = std::string&;
  struct Case {
    const char* what;
    std::string file;
  } cases[] = {
      {"truncated header", good.substr(0, 100)},
      {"truncated in the large stream", good.substr(0, 512 * 8)},
      {"random bytes behind a signature", good.substr(0, 8) + patterned(4096, 8)},
      {"sector shift 40", patch([](F f) { set16(f, 30, 40); })},
      {"version 4 with 512-byte sectors", patch([](F f) { set16(f, 26, 4); })},
      {"huge FAT sector count", patch([](F f) { set32(f, 44, 0xFFFFFFF0); })},
      {"FAT sector outside the file", patch([](F f) { set32(f, 76, 5000); })},
      {"DIFAT chain loops", patch([](F f) {
         f += std::string(250 * 512, '\0');  // room for 240 FAT sectors: only the loop can stop it
         set32(f, 44, 240);
         for (int i = 0; i < 109; ++i) set32(f, 76 + 4 * i, 0);
         set32(f, 68, 20);
         set32(f, 21 * 512 + 508, 20);
       })},
      {"directory chain loops", patch([](F f) { set32(f, fatEntry(1), 1); })},
      {"directory outside the file", patch([](F f) { set32(f, 48, 999999); })},
      {"root points at itself", patch([](F f) { set32(f, dirEntry(f, 0) + 76, 0); })},
      {"tree loops", patch([](F f) {
         std::uint32_t top = get32(f, dirEntry(f, 0) + 76);
         set32(f, dirEntry(f, top) + 68, top);
       })},
      {"tree points outside the directory", patch([](F f) { set32(f, dirEntry(f, 0) + 76, 1000); })},
      {"stream chain loops", patch([](F f) { set32(f, fatEntry(6), 5); })},
      {"stream chain leaves the file", patch([](F f) { set32(f, fatEntry(6), 77777); })},
      {"stream chain ends early", patch([](F f) { set32(f, fatEntry(6), 0xFFFFFFFE); })},
      {"stream size beyond the file", patch([](F f) { set32(f, dirEntry(f, 2) + 120, 0xFFFFFF00); })},
      {"mini chain loops", patch([](F f) {
         set32(f, dirEntry(f, 1) + 120, 200);
         set32(f, 512 * 3, 0);
       })},
      {"mini sector beyond the mini stream", patch([](F f) { set32(f, dirEntry(f, 1) + 116, 3); })},
      {"mini FAT chain loops", patch([](F f) { set32(f, fatEntry(2), 2); })},
      {"mini stream larger than the file", patch([](F f) { set32(f, dirEntry(f, 0) + 120, 0x7FFFFFFF); })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto big = readName(c.file, "Equation Native"), small = readName(c.file, "Small");
    EXPECT_FALSE(big && small);
    if (small) {
      EXPECT_EQ(*small, "hello");
    }
    std::string out = "x";
    EXPECT_EQ(ReadEquationNative(c.file, NativeForm::CompoundFile, out), big.has_value());
    EXPECT_EQ(out.empty(), !big);
  }
}

TEST(CompoundWriter, DirectoryTreeIsSortedAndRedBlack) {
  // Structured storage searches the tree by name, so order and colours matter even though
  // our own reader walks the whole tree.
  for (int n = 1; n <= 40; ++n) {
    SCOPED_TRACE(n);
    std::vector<CompoundStream> streams;
    for (int i = 0; i < n; ++i)  // mixed lengths and cases: the order is length first, case-blind
      streams.push_back({(i % 3 ? "s" : "S") + std::string(i % 5, 'x') + std::to_string((i * 7) % n) +
                             "_" + std::to_string(i), std::string(i, 'a')});
    std::string file;
    ASSERT_TRUE(writeCompoundFile(file, ClassId{}, streams));
    auto key = [&](std::uint32_t id) {
      std::string name = streams.at(id - 1).name;
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      return std::make_pair(name.size(), name);
    };
    std::vector<std::pair<std::size_t, std::string>> inorder;
    int blackHeight = -1;
    bool valid = true;
    // Depth is bounded by the tree height.
    std::function<void(std::uint32_t, int, bool)> walk = [&](std::uint32_t id, int blacks, bool parentRed) {
      if (id == 0xFFFFFFFF) {
        if (blackHeight < 0) blackHeight = blacks;
        valid = valid && blackHeight == blacks;
        return;
      }
      bool red = file[dirEntry(file, id) + 67] == 0;
      valid = valid && !(red && parentRed);
      walk(get32(file, dirEntry(file, id) + 68), blacks + !red, red);
      inorder.push_back(key(id));
      walk(get32(file, dirEntry(file, id) + 72), blacks + !red, red);
    };
    std::uint32_t top = get32(file, dirEntry(file, 0) + 76);
    EXPECT_EQ(file[dirEntry(file, top) + 67], 1) << "black root";
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
      {"names differing only in case", {{"Equation Native", "x"}, {"EQUATION NATIVE", "y"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "stale";
    EXPECT_FALSE(writeCompoundFile(out, ClassId{}, c.streams));
    EXPECT_TRUE(out.empty());
  }
  std::string out;
  EXPECT_TRUE(writeCompoundFile(out, ClassId{}, {{std::string(31, 'n'), "x"}}));
}

// Our reader and, when installed, python3-olefile in its strict mode must both read back
// what the writer produced: across the mini-stream cutoff and past 109 FAT sectors (DIFAT).
TEST(CompoundWriter, RoundTripThroughOurReaderAndOlefile) {
  namespace fs = std::filesystem;
  const bool olefile = std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") == 0;
  const fs::path dir = fs::temp_directory_path() / ("velotrix-ole-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  int files = 0;
  auto save = [&](const std::string& file, const std::string& native) {
    if (!olefile) return;
    std::string base = (dir / ("f" + std::to_string(files++))).string();
    std::ofstream(base + ".cfb", std::ios::binary) << file;
    std::ofstream(base + ".native", std::ios::binary) << native;
  };
  ClassId eq3{};
  ASSERT_TRUE(parseClassId(kEquation3ClassId, eq3));
  for (std::size_t size : {0, 1, 63, 64, 65, 4095, 4096, 4097, 100 * 1024, 10 * 1024 * 1024}) {
    SCOPED_TRACE(size);
    const std::string payload = patterned(size, static_cast<unsigned>(size));
    std::string file;
    ASSERT_TRUE(writeCompoundFile(file, eq3, {{"\x01" "CompObj", std::string(102, 'c')},
                                              {"Equation Native", payload}, {"\x01Ole", std::string(20, 'o')},
                                              {"\x03ObjInfo", std::string(6, '\0')}}));
    EXPECT_EQ(file.size() % 512, 0u);
    EXPECT_EQ(readName(file, "equation NATIVE"), payload);
    EXPECT_EQ(readName(file, "\x01OLE"), std::string(20, 'o'));
    std::vector<CompoundEntry> entries;
    ASSERT_TRUE(listCompoundRootEntries(bytesOf(file), file.size(), entries));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(formatClassId(entries[0].classId), kEquation3ClassId);
    EXPECT_EQ(entries[2].size, size);
    EXPECT_EQ(get32(file, 72) > 0, size > 8 * 1024 * 1024) << "DIFAT sectors only past 109 FAT sectors";
    save(file, payload);
  }
  const std::string native = "\x1c" + patterned(300, 5);
  save(buildEquation3CompoundFile(native), native);
  if (!olefile) {
    fs::remove_all(dir);
    GTEST_SKIP() << "python3-olefile not available: only our own reader checked";
  }
  // Strict parsing: olefile raises on any structural defect it notices.
  std::ofstream(dir / "check.py")
      << "import olefile, sys, glob\n"
         "paths = glob.glob(sys.argv[1] + '/*.cfb')\n"
         "assert len(paths) == int(sys.argv[2]), paths\n"
         "for p in paths:\n"
         "    ole = olefile.OleFileIO(p, raise_defects=olefile.DEFECT_INCORRECT)\n"
         "    assert ole.openstream('Equation Native').read() == open(p[:-4] + '.native', 'rb').read(), p\n"
         "    assert ole.root.clsid == '0002CE02-0000-0000-C000-000000000046', (p, ole.root.clsid)\n"
         "    names = sorted('/'.join(e) for e in ole.listdir())\n"
         "    assert names == ['\\x01CompObj', '\\x01Ole', '\\x03ObjInfo', 'Equation Native'], (p, names)\n"
         "    assert len(ole.openstream('\\x01CompObj').read()) == 102, p\n";
  const std::string cmd = "/usr/bin/python3 " + (dir / "check.py").string() + " " + dir.string() + " " +
                          std::to_string(files);
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  fs::remove_all(dir);
}
