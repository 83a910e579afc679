// Equation objects: the "Equation Native" stream out of an object's native data, and the
// object data of a new Equation 3.0 object, both through our own compound-file code.
#include "ole/equation_object.h"

#include <algorithm>
#include <new>

#include "ole/compound_file.h"
#include "platform/platform.h"

namespace {

const char* const kHexDigits = "0123456789abcdef";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendHex(HexBytes& out, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    out += kHexDigits[data[i] >> 4];
    out += kHexDigits[data[i] & 15];
  }
}

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

std::string fromHexText(const char* hex) {
  std::string bytes;
  for (const char* p = hex; p[0] && p[1]; p += 2)
    bytes += static_cast<char>(hexDigit(p[0]) * 16 + hexDigit(p[1]));
  return bytes;
}

}  // namespace

std::int32_t ReadEquationNative(HexBytes& out, const HexBytes& objectHex, std::int32_t readerMode) {
  out.clear();
  if (objectHex.empty()) return 0;
  if (readerMode == 4) {
    // A bare MTEF object: the caller's offsets already line the MTEF up where a stream's
    // header would end.
    out = objectHex;
    return 0;
  }

  const std::size_t size = objectHex.size() / 2;  // an odd trailing digit is dropped
  platform::MemHandle block = platform::memAlloc(size);
  if (!block) return 1;
  auto* bytes = static_cast<std::uint8_t*>(platform::memLock(block));
  if (!bytes) {
    platform::memFree(block);
    return 1;
  }
  for (std::size_t i = 0; i < size; ++i) {
    // Anything that is not a hex digit counts as 0; such data is not a compound file.
    int hi = hexDigit(objectHex[2 * i]), lo = hexDigit(objectHex[2 * i + 1]);
    bytes[i] = static_cast<std::uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
  }

  std::int32_t code = 1;
  try {
    std::string stream;
    if (readCompoundStream(bytes, size, "Equation Native", stream)) {
      out.reserve(stream.size() * 2);
      appendHex(out, reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
      code = 0;
    }
  } catch (const std::bad_alloc&) {
    // No memory for the stream's text: the stream counts as unreadable, out stays empty.
    out.clear();
    code = 0;
  }
  platform::memUnlock(block);
  platform::memFree(block);
  return code;
}

std::string buildEquation3CompoundFile(const std::string& equationNativeBytes) {
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
                          {"Equation Native", equationNativeBytes}}))
    file.clear();
  return file;
}

std::int32_t WriteEquation3Object(HexBytes& out, const HexBytes& equationNative) {
  out.clear();
  if (equationNative.size() < 2) return 2;
  try {
    std::string native;
    native.reserve(equationNative.size() / 2);
    for (std::size_t i = 0; i + 1 < equationNative.size(); i += 2) {
      int hi = hexDigit(equationNative[i]), lo = hexDigit(equationNative[i + 1]);
      if (hi < 0 || lo < 0) return 1;
      native += static_cast<char>(hi * 16 + lo);
    }
    const std::string file = buildEquation3CompoundFile(native);
    if (file.empty()) return 1;

    HexBytes text;
    text.reserve(file.size() * 2 + file.size() / kBytesPerLine * 2 + 1024);
    text += kObjectHeader;
    const auto n = static_cast<std::uint64_t>(file.size());
    if (n > 0xFFFFFFFFu) return 1;
    for (int i = 0; i < 4; ++i) {
      auto b = static_cast<std::uint8_t>(n >> (8 * i));
      appendHex(text, &b, 1);
    }
    text += "\r\n";
    // The compound file in lines of 126 bytes; every line, the last partial one included,
    // ends with one line break, and the presentation record follows directly.
    const auto* data = reinterpret_cast<const std::uint8_t*>(file.data());
    for (std::size_t pos = 0; pos < file.size(); pos += kBytesPerLine) {
      appendHex(text, data + pos, std::min(kBytesPerLine, file.size() - pos));
      text += "\r\n";
    }
    for (const char* line : kPresentationLines) {
      text += line;
      text += "\r\n";
    }
    out = std::move(text);
    return 0;
  } catch (const std::bad_alloc&) {
    out.clear();
    return 2;
  }
}
