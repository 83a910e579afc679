// Generated documents: text, nested groups, \bin data and objects of every class, whole,
// truncated and corrupted. Every object is either replaced or written back unchanged but
// for its line breaks, and all other content survives in normalised form.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rtf/document.h"
#include "settings/settings.h"
#include "support/convert.h"
#include "support/corpus.h"

namespace {

enum class Damage { kNone, kTruncated, kFlipped, kRandom };

struct Segment {
  std::string input;     // as written into the document
  std::string expected;  // the normalised form; for objects, the form written back
  bool isObject = false;
  bool mustConvert = false;  // a whole equation object of a class the format converts
  std::string prefix;    // objects: everything before the data group's "{\*"
  std::string result;    // objects: the \result group that follows the data group
};

class DocumentGenerator {
 public:
  DocumentGenerator(unsigned seed, const std::vector<CorpusEntry>& corpus, std::uint32_t eqVersion)
      : rng_(seed), corpus_(corpus), eqVersion_(eqVersion) {}

  std::vector<Segment> make(int items) {
    std::vector<Segment> out;
    out.push_back(plain("{\\rtf1 \\ansi \\deff0 {\\fonttbl{\\f0 \\froman Times;}}"));
    for (int i = 0; i < items; ++i) {
      switch (pick(5)) {
        case 0: out.push_back(text()); break;
        case 1: out.push_back(group(pick(4))); break;
        case 2: out.push_back(bin()); break;
        case 3: out.push_back(plain("\\par \\fs" + std::to_string(pick(60)) + " ")); break;
        default: out.push_back(object()); break;
      }
    }
    out.push_back(plain("}"));
    return out;
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  static Segment plain(std::string s) {
    Segment seg;
    seg.input = s;
    seg.expected = s;
    return seg;
  }

  Segment text() {
    static const std::string words[] = {"alpha ", "beta", " x+y=z ", "caf\\'e9 ", "\\{brace\\} ",
                                        "back\\\\slash ", "\\~", "\\u8722 ?"};
    std::string s;
    for (int n = pick(6) + 1; n > 0; --n) s += words[pick(8)];
    Segment seg = plain(s);
    // Line breaks and tabs in the input: the breaks vanish, tabs become blanks.
    if (pick(2)) {
      seg.input = "\r\n" + s + "\r\n";
    }
    return seg;
  }

  Segment group(int depth) {
    Segment inner = depth == 0 ? text() : group(depth - 1);
    Segment seg;
    seg.input = "{\\i " + inner.input + "}";
    seg.expected = "{\\i " + inner.expected + "}";
    return seg;
  }

  Segment bin() {
    std::string data;
    for (int n = pick(12); n > 0; --n) data += static_cast<char>(pick(256));
    std::string s = "\\bin" + std::to_string(data.size()) + " " + data;
    return plain(s);
  }

  Segment object() {
    static const std::string classes[] = {"Equation.DSMT4", "Equation.3", "Equation.2",
                                          "Equation", "Msxml2.SAXXMLReader.5.0", "Paint.Picture"};
    std::string cls = classes[pick(6)];
    std::string native;
    bool fromCorpus = !corpus_.empty() && cls != "Equation" && cls != "Paint.Picture";
    if (fromCorpus) {
      native = corpus_[static_cast<std::size_t>(pick(static_cast<int>(corpus_.size())))].bytes;
    } else {
      for (int n = pick(200) + 1; n > 0; --n) native += static_cast<char>(pick(256));
    }
    auto damage = static_cast<Damage>(pick(4));
    std::string hex = objectRecordHex(cls, native);
    switch (damage) {
      case Damage::kNone: break;
      case Damage::kTruncated: hex.resize(static_cast<std::size_t>(pick(static_cast<int>(hex.size())))); break;
      case Damage::kFlipped:
        for (int n = pick(8) + 1; n > 0; --n) {
          std::size_t at = 24 + static_cast<std::size_t>(pick(static_cast<int>(hex.size() - 24)));
          hex[at] = "0123456789abcdef"[pick(16)];
        }
        break;
      case Damage::kRandom:
        hex = hex.substr(0, 78);
        for (int n = pick(300); n > 0; --n) hex += "0123456789abcdef"[pick(16)];
        break;
    }
    std::string broken;
    for (std::size_t i = 0; i < hex.size(); i += 64) broken += "\r\n" + hex.substr(i, 64);
    Segment seg;
    seg.isObject = true;
    seg.prefix = "{\\object \\objemb {\\*\\objclass " + cls + "}\\objw1440 \\objh480 ";
    seg.result = "{\\result {\\pict \\wmetafile8 0100}}";
    seg.input = seg.prefix + "{\\*\\objdata " + broken + "\r\n}" + seg.result + "}";
    seg.expected = seg.prefix + "{\\*\\objdata " + hex + "}" + seg.result + "}";
    bool convertible = cls != "Paint.Picture" && cls != "Equation" &&
                       (eqVersion_ == 1 || (cls != "Equation.3" && cls != "Equation.2"));
    seg.mustConvert = fromCorpus && damage == Damage::kNone && convertible;
    return seg;
  }

  std::mt19937 rng_;
  const std::vector<CorpusEntry>& corpus_;
  std::uint32_t eqVersion_;
};

// Checks the output segment by segment; returns how many objects were replaced.
int checkOutput(const std::vector<Segment>& segments, const std::string& out, std::uint32_t eqVersion) {
  std::size_t pos = 0;
  int replaced = 0;
  for (const Segment& seg : segments) {
    if (!seg.isObject) {
      EXPECT_EQ(out.compare(pos, seg.expected.size(), seg.expected), 0)
          << "at " << pos << ": expected " << seg.expected << "\n got " << out.substr(pos, 80);
      pos += seg.expected.size();
      continue;
    }
    if (out.compare(pos, seg.expected.size(), seg.expected) == 0) {
      EXPECT_FALSE(seg.mustConvert) << "a whole equation object was not replaced: " << seg.prefix;
      pos += seg.expected.size();
      continue;
    }
    // Replaced: the prefix stands (an Equation 3.0 object naming its new class), then the
    // new data.
    std::string head = seg.prefix + "{\\*";
    if (eqVersion == 0) {
      const std::size_t name = head.find("\\objclass ") + 10;
      head.replace(name, head.find('}', name) - name, "Equation.3");
    }
    EXPECT_EQ(out.compare(pos, head.size(), head), 0) << out.substr(pos, 120);
    pos += head.size();
    std::string end;
    if (eqVersion == 1) {
      EXPECT_EQ(out.compare(pos, 11, "{\\dn0\\mmath"), 0) << out.substr(pos, 40);
      end = "{\\mmathPict}}\r\n}}";
    } else {
      EXPECT_EQ(out.compare(pos, 33, "\\objdata 01050000020000000b000000"), 0) << out.substr(pos, 40);
      end = "}" + seg.result + "}";
    }
    std::size_t stop = out.find(end, pos);
    if (stop == std::string::npos) {
      ADD_FAILURE() << "replacement without its end at " << pos;
      return replaced;
    }
    pos = stop + end.size();
    ++replaced;
  }
  EXPECT_EQ(pos, out.size());
  return replaced;
}

TEST(GeneratedDocuments, ObjectsAreReplacedOrKeptAndTextSurvives) {
  const std::vector<CorpusEntry> corpus = loadCorpus();
  for (std::uint32_t eqVersion : {1u, 0u}) {
    for (unsigned seed = 1; seed <= 40; ++seed) {
      gSettings.eqVersion = eqVersion;
      DocumentGenerator gen(seed, corpus, eqVersion);
      std::vector<Segment> segments = gen.make(30);
      std::string doc;
      for (const Segment& s : segments) doc += s.input;
      std::string out = convertDocument(doc, 1 + seed * 37 % 500);
      int replaced = checkOutput(segments, out, eqVersion);
      EXPECT_EQ(replaced, lastPass().converted) << "seed " << seed;
      if (HasFailure()) {
        ADD_FAILURE() << "seed " << seed << " format " << eqVersion;
        gSettings = ConverterSettings{};
        return;
      }
    }
  }
  gSettings = ConverterSettings{};
}

}  // namespace
