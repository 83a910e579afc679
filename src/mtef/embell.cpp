// Embellishment lists: dots, primes, accents, arrows, strike-outs and under-marks on a
// character. Office Math wraps the character's run in accent, bar or border-box groups;
// MTEF 3 appends embellishment records or, for stacked marks, wraps the character in a
// limit template whose small slot holds the marks.
#include <vector>

#include "mtef/handlers.h"
#include "mtef/record.h"

namespace {

// A run rebuilt by wrapping: pieces put in front (the last one outermost) and text put
// behind. Keeping the two apart makes every wrap cost only its own length, however long
// the embellishment list is.
struct WrappedRun {
  std::vector<std::string> front;
  std::string core;
  std::string back;

  void wrap(std::string opener, std::string_view closer) {
    front.push_back(std::move(opener));
    back += closer;
  }
  std::string text() const {
    std::string result;
    for (auto it = front.rbegin(); it != front.rend(); ++it) result += *it;
    result += core;
    result += back;
    return result;
  }
};

struct Mark {
  std::string nudge;
  std::int32_t type = 0;
};

const std::string kGroupOpener = std::string(1, kAtomStart) + "{";
const std::string kAccentOpener = std::string(1, kAtomStart) + "{\\macc{\\maccPr{\\mchr ";
const std::string kDoubleCloser = "}}" + std::string(1, kAtomEnd);
const std::string kSingleCloser = "}" + std::string(1, kAtomEnd);

std::string borderBox(std::string_view strikes) {
  return kGroupOpener +
         "\\mborderBox{\\mborderBoxPr{\\mhideTop on}{\\mhideBot on}{\\mhideLeft on}"
         "{\\mhideRight on}" +
         std::string(strikes) + "}{\\me";
}

const char* accentCharacter(std::int32_t type) {
  switch (type) {
    case 2: return "{\\uc1\\u775\\'3f}}}{\\me";
    case 3: return "{\\uc1\\u776\\'3f}}}{\\me";
    case 4: case 24: return "{\\uc1\\u8411\\'3f}}}{\\me";
    case 8: return "{\\uc1\\u771\\'3f}}}{\\me";
    case 9: case 19: return "{\\uc1\\u770\\'3f}}}{\\me";
    case 11: return "{\\uc1\\u8407\\'3f}}}{\\me";
    case 12: return "{\\uc1\\u8406\\'3f}}}{\\me";
    case 13: return "{\\uc1\\u8417\\'3f}}}{\\me";
    case 14: return "{\\uc1\\u8401\\'3f}}}{\\me";
    case 15: return "{\\uc1\\u8400\\'3f}}}{\\me";
    case 17: return "{\\uc1\\u773\\'3f}}}{\\me";
    case 20: return "{\\uc1\\u774\\'3f}}}{\\me";
    default: return nullptr;
  }
}

// The once-only strike flags shared by both targets.
struct StrikeFlags {
  bool middleBar = false;  // type 16
  bool slash = false;      // types 10, 21, 22, 23
};

const char* slashStrikes(std::int32_t type) {
  switch (type) {
    case 10: case 22: return "{\\mstrikeBLTR on}";
    case 21: return "{\\mstrikeBLTR on}{\\mstrikeTLBR on}";
    case 23: return "{\\mstrikeTLBR on}";
    default: return nullptr;
  }
}

void applyOfficeMath(const EquationContext& ctx, WrappedRun& run, std::int32_t type,
                     StrikeFlags& flags) {
  if (const char* accent = accentCharacter(type)) {
    run.wrap(kAccentOpener + accent, kDoubleCloser);
    return;
  }
  switch (type) {
    case 5:
      run.back += ctx.isUniPrime != 0 ? "{\\mr\\mscr0\\msty2\\i {\\uc1\\u39 '}}" : "{\\uc1\\u39 '}";
      run.wrap(kGroupOpener, kSingleCloser);
      return;
    case 6:
      run.wrap(kGroupOpener, "{\\uc1\\u39 '\\u39 '}" + kSingleCloser);
      return;
    case 7:
      run.wrap(kGroupOpener + "`", kSingleCloser);
      return;
    case 18:
      run.wrap(kGroupOpener, "{\\uc1\\u39 '\\u39 '\\u39 '}" + kSingleCloser);
      return;
    case 16:
      if (flags.middleBar) return;
      flags.middleBar = true;
      run.wrap(borderBox("{\\mstrikeH on}"), kDoubleCloser);
      return;
    default:
      break;
  }
  if (const char* strikes = slashStrikes(type)) {
    if (flags.slash) return;
    flags.slash = true;
    run.wrap(borderBox(strikes), kDoubleCloser);
    return;
  }
  if (type >= 29 && type <= 37) run.wrap(kGroupOpener + "\\mbar{\\mbarPr}{\\me", kDoubleCloser);
}

// An MTEF 3 embellishment record: tag (with the nudge when there is one), type, END.
std::string directRecord(const std::string& nudge, bool nudged, std::int32_t type) {
  return (nudged ? "86" + nudge : std::string("06")) + hexByte(static_cast<std::uint32_t>(type)) +
         "00";
}

std::string repeatMark(std::string_view tag, std::int32_t count) {
  std::string marks;
  for (std::int32_t i = 0; i < count; ++i) marks += std::string(tag) + "822e00";
  return marks;
}

// The mark characters drawn above the character for an over-mark entry.
std::string overMarks(const EquationContext& ctx, const Mark& mark) {
  const std::string tag = mark.nudge.empty() ? "02" : "82" + mark.nudge;
  const bool euclid = ctx.isEuclid != 0;
  switch (mark.type) {
    case 2: return repeatMark(tag, 1);
    case 3: return repeatMark(tag, 2);
    case 4: return repeatMark(tag, 3);
    case 24: return repeatMark(tag, 4);
    case 8: return tag + "8b0303";
    case 9: return tag + "8b0203";
    case 11: return tag + "8bd720";
    case 12: return tag + "8bd620";
    case 13: return tag + "8be120";
    case 14: return tag + (euclid ? "017600" : "8bd720");
    case 15: return tag + (euclid ? "017700" : "8bd620");
    case 17: return tag + "869421";
    case 19: return tag + "8b2223";
    case 20: return tag + "8b2323";
    default: return {};
  }
}

std::string underMarks(const EquationContext& ctx, const Mark& mark) {
  const std::string tag = mark.nudge.empty() ? "02" : "82" + mark.nudge;
  const bool euclid = ctx.isEuclid != 0;
  switch (mark.type) {
    case 25: return repeatMark(tag, 1);
    case 26: return repeatMark(tag, 2);
    case 27: return repeatMark(tag, 3);
    case 28: return repeatMark(tag, 4);
    case 29: return tag + "861222";
    case 30: return tag + "8b0303";
    case 31: return tag + "8b2223";
    case 32: return tag + "8b2323";
    case 33: return tag + "8bd720";
    case 34: return tag + "8bd620";
    case 35: return tag + "8be120";
    case 36: return tag + (euclid ? "017800" : "8bd720");
    case 37: return tag + (euclid ? "017100" : "8bd620");
    default: return {};
  }
}

}  // namespace

std::int32_t translateEmbellishments(EquationContext& ctx, std::string* out) {
  // Only a character's own list may rewrite its run; a stray list is read and dropped.
  const bool attached = out != nullptr && out == ctx.openRun;
  if (!attached) noteFailure(ctx, "embellishment outside a character at byte " +
                                      std::to_string(currentByteOffset(ctx)));
  const bool mtef5 = ctx.mtefVersion == 5;
  const bool officeMath = ctx.targetMode != 0;

  WrappedRun run;
  if (attached) run.core = *out;
  StrikeFlags flags;
  bool fourDots = false;
  std::string strikes, primes, others;
  std::vector<Mark> over, under;

  while ((currentByteValue(ctx) & 0x0f) == 6) {
    const std::int32_t tag = currentByteValue(ctx);
    const std::int32_t options = mtef5 ? readBodyByte(ctx) : (tag >> 4);
    const bool nudged = options == 8;
    std::string nudge;
    if (nudged) skipNudge(ctx, &nudge);
    const std::int32_t type = readBodyByte(ctx);
    if (officeMath) {
      applyOfficeMath(ctx, run, type, flags);
    } else if (type == 16) {
      if (!flags.middleBar) strikes += nudged ? "86" + nudge + "1000" : "061000";
      flags.middleBar = true;
    } else if (type == 10 || (type >= 21 && type <= 23)) {
      if (!flags.slash) strikes += nudged ? "86" + nudge + "0a00" : "060a00";
      flags.slash = true;
    } else if (type == 5 || type == 6 || type == 7 || type == 18) {
      primes += directRecord(nudge, nudged, type);
    } else if (type == 24) {
      over.push_back({nudge, type});
      fourDots = true;
    } else if (type >= 25) {
      under.push_back({nudge, type});
    } else if (fourDots) {
      over.push_back({nudge, type});
    } else {
      others += directRecord(nudge, nudged, type);
    }
    readRecord(ctx, nullptr, 2);  // the next tag: EMBELL and END are never dispatched by mode 2
  }

  if (ctx.mtefVersion == 3) {
    // MTEF 3 streams close a character's embellishment list with a second END. Only an END
    // is consumed here, so a stream without it does not lose its next record.
    if (readRecord(ctx, nullptr, kModeAdvance) == 0 && (currentByteValue(ctx) & 0x0f) != 0)
      ctx.readPos -= 2;
  }
  if (!attached) return 0;

  if (!officeMath) {
    run.core += strikes + primes + others;
    if (run.core.size() == 8) {
      run.core[0] = '0';  // a bare CHAR record: its tag loses the list option
    } else {
      run.core += "00";
    }
    for (const Mark& mark : under) {
      run.wrap("0327010001", "000b01" + underMarks(ctx, mark) + "00" + ctx.sizeRecord + "1100");
    }
    for (const Mark& mark : over) {
      run.wrap("0327000001", "000b1101" + overMarks(ctx, mark) + ctx.sizeRecord + "0000");
    }
  }
  *out = run.text();
  return 0;
}
