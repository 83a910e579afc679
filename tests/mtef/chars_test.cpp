// Character translation: styles, explicit fonts, Greek, MT Extra, escapes, primes,
// spaces, the one-byte tables of MTEF 2 and 4.
#include <gtest/gtest.h>

#include "mtef/char_tables.h"
#include "mtef_test_support.h"

using namespace mtef_test;

namespace {

// Fonts 0 to 5: Times New Roman, Euclid Fraktur, Euclid Math One, Euclid Math Two (all
// of unknown encoding), Arial (WinANSI), Tahoma (WinEastEurope).
const std::string kFonts =
    "13" + name("WinANSI") + "11 01" + name("Times New Roman") + "11 01" + name("Euclid Fraktur") +
    "11 01" + name("Euclid Math One") + "11 01" + name("Euclid Math Two") + "11 05" +
    name("Arial") + "13" + name("WinEastEurope") + "11 06" + name("Tahoma");

struct CharCase {
  const char* what;
  int version;
  std::string line;  // records inside the equation's line
  int isEuclid;
  int isUniPrime;
  const char* officeMath;  // null: not checked
  const char* mtef3;       // null: not checked
};

const CharCase kCharCases[] = {
    {"vector", 5, "02 00 87 76 00", 0, 1, R"(<{\mr\mscr0\msty1\b v}>)", "02877600"},
    {"user 1 is written as vector", 5, "02 00 89 75 00", 0, 1, R"(<{\mr\mscr0\msty3\b\i u}>)", "02877500"},
    {"user 2 likewise", 5, "02 00 8a 75 00", 0, 1, nullptr, "02877500"},
    {"brace and backslash escaped", 5, "02 00 86 7b 00 02 00 81 5c 00", 0, 1,
     R"(<{\mr\mscr0\msty2\i \{}><{\mr\mscr0\msty0 \\}>)", nullptr},
    {"times sign, code page 1252, unmapped 1252 byte", 5, "02 00 86 d7 00 02 00 81 80 00 02 00 81 81 00", 0, 1,
     R"(<{\mr\mscr0\msty2\i {\uc1\u215\'3f}}><{\mr\mscr0\msty0 {\uc1\u8364\'3f}}><{\mr\mscr0\msty0 {\uc1\u63\'3f}}>)", nullptr},
    {"apostrophe as prime", 5, "02 00 86 27 00", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u39 '}}>)", nullptr},
    {"apostrophe plain", 5, "02 00 86 27 00", 0, 0, R"(<{\mr\mscr0\msty2\i '}>)", nullptr},
    {"space codes", 5, "02 00 98 02 00 02 00 98 04 00 02 00 98 05 00 02 00 98 01 00", 0, 1,
     R"(<{\mr\mscr0\msty2\i  }><{\mr\mscr0\msty2\i   }><{\mr\mscr0\msty2\i     }><{\mr\mscr0\msty2\i }>)",
     "029802eb029804eb029805eb029801eb"},
    {"zero-width space with uni prime", 5, "02 00 98 01 eb", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u8203\'3f}}>)", "029801eb"},
    {"zero-width space dropped", 5, "02 00 98 01 ef", 0, 0, R"(<{\mr\mscr0\msty2\i }>)", nullptr},
    {"wide spaces", 5, "02 00 98 04 ef 02 00 98 08 eb", 0, 1, R"(<{\mr\mscr0\msty2\i   }><{\mr\mscr0\msty2\i  }>)", nullptr},
    {"marker tab", 5, "02 00 97 09 00", 0, 1, nullptr, "02970900"},
    {"plain phi forms are exchanged", 5, "02 00 84 c6 03 02 00 84 d5 03", 0, 1,
     R"(<{\mr\mscr0\msty2\i {\uc1\u981\'3f}}><{\mr\mscr0\msty2\i {\uc1\u966\'3f}}>)", "0284c6030284d503"},
    {"Greek letter", 5, "02 04 84 b1 03 61", 0, 1, R"(<{\mr\mscr0\msty2\i \f99\'e1}>)", "0284b103"},
    {"capital upsilon is not in the Greek font", 5, "02 04 85 a5 03 55", 0, 1, R"(<{\mr\mscr0\msty0 {\uc1\u933\'3f}}>)", nullptr},
    {"phi at 106", 5, "02 04 84 c6 03 6a", 0, 1, R"(<{\mr\mscr0\msty2\i \f99\'f6}>)", "0284d503"},
    {"phi elsewhere", 5, "02 04 84 c6 03 66", 0, 1, R"(<{\mr\mscr0\msty2\i \i{\uc1\u981\'3f}}>)", "0284c603"},
    {"straight phi at 102", 5, "02 04 84 d5 03 66", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u981\'3f}}>)", "0284c603"},
    {"straight phi elsewhere", 5, "02 04 84 d5 03 6a", 0, 1, R"(<{\mr\mscr0\msty2\i \f99\'f6}>)", "0284d503"},
    {"Greek variants", 5, "02 04 84 d1 03 4a 02 04 85 d2 03 a1 02 04 84 d6 03 76", 0, 1,
     R"(<{\mr\mscr0\msty2\i {\uc1\u977\'3f}}><{\mr\mscr0\msty0 \f99\'d5}><{\mr\mscr0\msty2\i {\uc1\u982\'3f}}>)", nullptr},
    {"8-bit private and operator codes", 5, "02 04 86 ee f8 e9 02 04 86 07 22 d1 02 04 86 0d 22 27", 0, 1,
     R"(<{\mr\mscr0\msty2\i {\uc1\u8968\'3f}}><{\mr\mscr0\msty2\i \i0{\uc1\u8711\'3f}}><{\mr\mscr0\msty2\i {\uc1\u1014\'3f}}>)", nullptr},
    {"MT Extra R, Euclid on", 5, "02 04 8b 1d 21 a1", 1, 1, nullptr, "0201a100"},
    {"MT Extra double bracket", 5, "02 04 8b 1a 30 a7", 0, 1, R"(<{\mr\mscr0\msty2\i [[}>)", "02865b00"},
    {"MT Extra not in the table", 5, "02 04 8b 90 21 20", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u8592\'3f}}>)", "028b9021"},
    {"MT Extra fallback", 5, "02 04 8b 05 eb 5c", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u8599\'3f}}>)", nullptr},
    {"MT Extra h-bar, Euclid on", 5, "02 04 8b 0f 21 68", 1, 1,
     R"(<{\mr\mscr0\msty2\i {\field{\*\fldinst SYMBOL 104 \\f "Euclid Extra"}{\fldrslt }}}>)", nullptr},
    {"MT Extra h-bar, Euclid off", 5, "02 04 8b 0f 21 68", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u8463\'3f}}>)", nullptr},
    {"MT Extra single byte", 5, "02 04 8b 7d 00 7d", 0, 1, R"(<{\mr\mscr0\msty2\i \}}>)", nullptr},
    {"16-bit position", 5, "02 10 86 11 22 e5 00 02 10 81 41 00 41 00", 0, 1,
     R"(<{\mr\mscr0\msty2\i {\uc1\u8721\'3f}}><{\mr\mscr0\msty0 A}>)", "0286112202814100"},
    {"MTEF 3 options and nudge", 3, "12 83 78 00 82 81 7f 83 79 00", 0, 1, nullptr, "1283780082817f837900"},
    {"MTEF 2 symbol phi", 2, "02 86 6a", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u966\'3f}}>)", "0286d503"},
    {"MTEF 4 MT Extra byte", 4, "02 8b 6e", 0, 1, R"(<{\mr\mscr0\msty2\i {\uc1\u65533\'3f}}>)", "028bfdff"},
    {"MTEF 4 expandable byte", 4, "02 96 61", 0, 1, nullptr, "029607ec"},
    {"MTEF 2 other typeface", 2, "02 83 78", 0, 1, R"(<{\mr\mscr0\msty2\i x}>)", "02837800"},
    {"data ends inside", 5, "02 00 83", 0, 1, R"(<{\mr\mscr0\msty2\i }>)", nullptr},
    // Explicit fonts, bound by FONT_STYLE_DEF (font number, style) before the character.
    {"Math One italic", 5, "08 03 02 02 04 05 61 00 61", 0, 1, R"(<{\mr\mscr0\msty2\i a}>)", "02056100"},
    {"Euclid font with Euclid on is not compatible", 5, "08 03 02 02 04 05 61 00 61", 1, 1, nullptr, "020561f7"},
    {"Math One plain", 5, "08 03 00 02 04 05 61 00 61", 0, 1, R"(<{\mr\mscr1\msty0 a}>)", nullptr},
    {"other font, bold italic, no letters", 5, "08 01 03 02 04 05 41 00 41", 0, 1,
     R"(<{\mr\mscr0\msty3\b\i {\uc1\u65\'3f}}>)", "020541f7"},
    {"explicit table, Euclid on", 5, "08 01 00 02 04 05 2e e9 88", 1, 1,
     R"(<{\mr\mscr0\msty0 {\field{\*\fldinst SYMBOL 136 \\f "Euclid Math One"}{\fldrslt }}}>)", nullptr},
    {"explicit table, Euclid off", 5, "08 01 00 02 04 05 2e e9 88", 0, 1, R"(<{\mr\mscr0\msty0 {\uc1\u8739\'3f}}>)", nullptr},
    {"explicit table by position", 5, "08 01 00 02 04 05 68 22 9a 02 04 05 68 22 01 02 04 05 7c 22 b0", 1, 1,
     R"(<{\mr\mscr0\msty0 {\field{\*\fldinst SYMBOL 154 \\f "Euclid Math Two"}{\fldrslt }}}>)"
     R"(<{\mr\mscr0\msty0 {\uc1\u8808\'3f}}><{\mr\mscr0\msty0 {\uc1\u10927\'3f}}>)", nullptr},
    {"explicit table dotless i and full-width", 5, "08 01 00 02 04 05 31 01 10 02 04 05 15 ff 10", 0, 1,
     R"(<{\mr\mscr0\msty0 \i{\uc1\u305\'3f}}><{\mr\mscr0\msty0 {\uc1\u10815\'3f}}>)", nullptr},
    {"a bound typeface keeps its font", 5, "08 02 01 02 04 05 41 00 41 02 04 05 42 00 42", 0, 1,
     R"(<{\mr\mscr2\msty1 A}><{\mr\mscr2\msty1 B}>)", nullptr},
    {"WinANSI font uses the ordinary rules", 5, "08 05 00 02 04 05 41 00 41", 0, 1, R"(<{\mr\mscr0\msty0 A}>)", "02054100"},
    {"unbound font", 5, "02 04 05 41 00 41", 0, 1, R"(<{\mr\mscr0\msty0 A}>)", "02054100"},
    {"default binding counts preamble fonts", 5, "11 01" + name("Euclid Math Two") + "02 04 7f 61 00 61", 0, 1,
     R"(<{\mr\mscr3\msty0 a}>)", "027f6100"},
    {"16-bit position in an explicit font", 5, "08 01 00 02 10 05 41 00 41 00", 0, 1, nullptr, "020541f7"},
};

TEST(MtefChar, TranslatesBothTargets) {
  greekFontRef = "\\f99";
  for (const CharCase& c : kCharCases) {
    SCOPED_TRACE(c.what);
    const std::string preamble = c.version == 5 ? kFonts : "";
    const std::string records = preamble + (c.version == 5 ? "01 00" : "01") + c.line + "00";
    if (c.officeMath != nullptr) {
      EquationContext ctx = readerFor(1, c.version, records, c.isEuclid, c.isUniPrime);
      EXPECT_EQ(lineContent(ctx), c.officeMath);
    }
    if (c.mtef3 != nullptr) {
      EquationContext ctx = readerFor(0, c.version, records, c.isEuclid, c.isUniPrime);
      EXPECT_EQ(lineContent(ctx), c.mtef3);
    }
  }
}

TEST(MtefCharTables, ChangedByteCounts) {
  // The tables are runs of bytes; the number of bytes that change catches a dropped,
  // doubled or off-by-one run (the characters above check single values).
  const struct {
    std::uint16_t (*map)(std::uint8_t);
    int changed;
  } counts[] = {{mapSymbolChar, 132}, {mapExtraChar, 116}, {mapExpandChar, 15}};
  for (const auto& c : counts) {
    int changed = 0;
    for (int b = 0; b < 256; ++b) changed += c.map(static_cast<std::uint8_t>(b)) != b ? 1 : 0;
    EXPECT_EQ(changed, c.changed);
  }
}

}  // namespace
