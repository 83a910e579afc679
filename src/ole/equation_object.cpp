// Equation objects: the "Equation Native" stream out of an object's native data, and the
// object data of a new Equation 3.0 object, both through our own compound-file code.
#include "ole/equation_object.h"

#include <algorithm>
#include <new>

#include "ole/compound_file.h"
#include "platform/hex.h"
#include "platform/platform.h"

namespace {

// OLE1 header of an embedded Equation.3 object: version 0x0501, format 2 (embedded),
// class name "Equation.3" with its length 11, empty topic and item names. The native
// data size follows.
constexpr const char* kObjectHeader = "01050000020000000b0000004571756174696f6e2e33000000000000000000";

// The presentation record written after the native data, one string per line. Word shows
// the document's own \result picture, so this only has to be a valid placeholder.
//
// Line 1: OLE1 presentation header (version 0x0501, format 5, class "METAFILEPICT",
// width 353, height -388, 322 data bytes) and the metafile-picture header (anisotropic
// mapping mode 8, extents 353 x 388, no handle).
// Lines 2-4: a 314-byte Windows metafile (157 words, 2 objects, largest record 28 words)
// that sets black text on a transparent white background, baseline alignment, window
// origin 0,0 and extent 320 x 352, carries two comments (the second tagged "MathType"),
// selects Times New Roman at height -384 weight 400, draws "a" at (58, 256), carries a
// closing comment, selects the System font and ends.
constexpr const char* kPresentationLines[4] = {
    "01050000050000000d0000004d45544146494c455049435400610100007cfeffff4201000008006101840100"
    "00",
    "0100090000039d00000002001c0000000000050000000902000000000400000002010100050000000102ffff"
    "ff00040000002e011800050000000b0200000000050000000c02600140010b00000026060f000c0045717561"
    "74696f6e2e3300001700000026060f0024004d61746854797065000000000000000000000000",
    "000000000000000000000000000000001c000000fb0280fe0000000000009001000000000000001254696d65"
    "73204e657720526f6d616e0000000000000000000000000000000000040000002d0100000700000021050100"
    "610000013a000c00000026060f000e00456e644f664571756174696f6e001c000000fb020000",
    "0000000000000000000000000000000053797374656d00000000000000000000000000000000000000000000"
    "00000000040000002d010100030000000000",
};

constexpr std::size_t kBytesPerLine = 126;

std::string fromHexText(const char* hex) { return platform::decodeHex(hex); }

// The equation classes and where their native data starts.
struct ClassRow {
  std::string_view name;        // the class name (with its zero byte for exact names)
  std::size_t longerThan;       // the data must be longer than this many bytes
  std::size_t nativeOffset;     // 0: found after the class name's zero byte
  NativeForm form;
  bool needsOfficeMath;
};

constexpr ClassRow kClassRows[] = {
    {std::string_view("Equation\0", 9), 33, 5, NativeForm::BareMtef, false},
    {std::string_view("Equation.DSMT4\0", 15), 39, 39, NativeForm::CompoundFile, false},
    {"Msxml2.SAXXMLReader", 44, 0, NativeForm::CompoundFile, false},
    {std::string_view("Equation.2\0", 11), 35, 35, NativeForm::CompoundFile, true},
    {std::string_view("Equation.3\0", 11), 35, 35, NativeForm::CompoundFile, true},
};

constexpr std::size_t kClassNameOffset = 12;

// For a class name of any length: the native data follows the name's zero byte, the
// empty topic and item names and the native data size.
bool nativeAfterClassName(std::string_view data, std::size_t& offset) {
  for (std::size_t pos = 31; pos < data.size(); ++pos) {
    if (data[pos] == 0) {
      offset = pos + 13;
      return offset < data.size();
    }
  }
  return false;
}

}  // namespace

std::string buildEquation3CompoundFile(std::string_view equationNativeBytes) {
  ClassId classId{};
  parseClassId(kEquation3ClassId, classId);

  // \1Ole: an embedded object's link-less standard stream.
  std::string ole = fromHexText("0100000208000000000000000000000000000000");
  // \1CompObj: version header, the class id, user type, clipboard format name, program id,
  // then the Unicode marker with no Unicode strings.
  std::string compObj = fromHexText("0100feff030a0000ffffffff");
  compObj.append(reinterpret_cast<const char*>(classId.data()), classId.size());
  for (const char* s : {"Microsoft Equation 3.0", "DS Equation", "Equation.3"}) {
    std::string text(s);
    text += '\0';
    const auto n = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i) compObj += static_cast<char>((n >> (8 * i)) & 0xff);
    compObj += text;
  }
  compObj += fromHexText("f439b271000000000000000000000000");
  // \3ObjInfo: object flags.
  std::string objInfo = fromHexText("000003000400");

  std::string file;
  if (!writeCompoundFile(file, classId,
                         {{"\x01Ole", ole},
                          {"\x01" "CompObj", compObj},
                          {"\x03ObjInfo", objInfo},
                          {"Equation Native", std::string(equationNativeBytes)}}))
    file.clear();
  return file;
}

std::string ObjectClassName(std::string_view objectData) {
  std::string name;
  for (std::size_t i = kClassNameOffset; i < objectData.size() && name.size() < 255; ++i) {
    if (objectData[i] == 0) break;
    name += objectData[i];
  }
  return name;
}

ObjectClass ClassifyObject(std::string_view objectData, std::uint32_t eqVersion) {
  ObjectClass result;
  for (const ClassRow& row : kClassRows) {
    if (row.needsOfficeMath && eqVersion != 1) continue;
    if (objectData.size() <= row.longerThan ||
        objectData.substr(kClassNameOffset, row.name.size()) != row.name)
      continue;
    result.form = row.form;
    result.nativeOffset = row.nativeOffset;
    if (row.nativeOffset == 0 && !nativeAfterClassName(objectData, result.nativeOffset))
      return ObjectClass{};
    result.isEquation = true;
    return result;
  }
  return result;
}

bool ReadEquationNative(std::string_view native, NativeForm form, std::string& stream) {
  stream.clear();
  CompoundScratch scratch;
  std::string_view view;
  if (!ReadEquationNativeView(native, form, scratch, view)) return false;
  stream.assign(view);
  return true;
}

bool ReadEquationNativeView(std::string_view native, NativeForm form, CompoundScratch& scratch,
                            std::string_view& stream) {
  scratch.bytes.clear();
  stream = {};
  if (native.empty()) return true;
  if (form == NativeForm::BareMtef) {
    // A bare MTEF object: the class offsets line the MTEF up where a stream's header
    // would end.
    stream = native;
    return true;
  }
  try {
    return readCompoundStreamView(reinterpret_cast<const std::uint8_t*>(native.data()), native.size(),
                                  "Equation Native", scratch, stream);
  } catch (const std::bad_alloc&) {
    // No memory for the stream: it counts as empty.
    scratch.bytes.clear();
    stream = {};
    return true;
  }
}

std::string Equation3ObjectText(std::string_view equationNative) {
  std::string text;
  Equation3ObjectText(equationNative, text);
  return text;
}

bool Equation3ObjectText(std::string_view equationNative, std::string& text) {
  text.clear();
  if (equationNative.empty()) return false;
  try {
    const std::string file = buildEquation3CompoundFile(equationNative);
    if (file.empty() || file.size() > 0xFFFFFFFFu) return false;
    text.reserve(file.size() * 2 + file.size() / kBytesPerLine * 2 + 1024);
    text += kObjectHeader;
    std::string size;
    for (int i = 0; i < 4; ++i) size += static_cast<char>((file.size() >> (8 * i)) & 0xff);
    platform::appendHex(text, size);
    text += "\r\n";
    // The compound file in lines of 126 bytes; every line, the last partial one included,
    // ends with one line break, and the presentation record follows directly.
    const std::string_view data(file);
    for (std::size_t pos = 0; pos < data.size(); pos += kBytesPerLine) {
      platform::appendHex(text, data.substr(pos, kBytesPerLine));
      text += "\r\n";
    }
    for (const char* line : kPresentationLines) {
      text += line;
      text += "\r\n";
    }
    return true;
  } catch (const std::bad_alloc&) {
    text.clear();
    return false;
  }
}
