// The process-wide settings record. Every option that changes what the converter does
// lives here; the settings loader overwrites fields, everything else only reads them.
#pragma once

#include <cstdint>
#include <string>

struct ConverterSettings {
  std::uint32_t eqVersion = 1;           // 1 Office Math, 0 Equation 3.0 objects
  std::uint32_t isEuclid = 0;            // "Allow MathType fonts"
  std::uint32_t isUniPrime = 1;          // "Force Unicode"
  std::uint32_t isStatistics = 1;        // statistics message after a run
  std::uint32_t isProgressWin = 1;       // progress window during a run
  std::uint32_t autoConvertBlocked = 0;  // bit 0: 32-bit view, bit 1: 64-bit view
  std::uint32_t serverMode = 0;          // no dialogs; options file overrides
  std::wstring installDir;               // "path" + "\velotrix\"
  std::wstring languageDir;              // installDir + "language\"
  std::wstring pathLanguage;             // language sub-folder; empty = built-in English
  std::wstring wmoptini;                 // per-user options file for server mode
};

extern ConverterSettings gSettings;
