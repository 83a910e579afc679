// The entry points as the host drives them, on the posix stand-ins: an in-memory
// registry holding an installation, a recording message-box handler, a scripted Save
// dialog and a built-in options module whose answer each test chooses.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cli/host_simulator.h"
#include "converter/converter.h"
#include "converter/resources.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/ui.h"
#include "rtf/objects.h"
#include "settings/settings.h"
#include "support/convert.h"
#include "ui/progress.h"

namespace {

using platform::RegRoot;
using platform::RegView;

struct Shown {
  std::wstring text, caption;
  std::uint32_t style;
};

struct ShowOptCall {
  void* instance;
  void* window;
  std::int32_t quiet;
};

std::vector<Shown> shown;
std::vector<ShowOptCall> showOptCalls;
std::int32_t showOptAnswer = 0;
int messageAnswer = platform::kIdOk;
std::vector<platform::SaveDialogRequest> saveRequests;
std::wstring saveAnswer;  // empty: the dialog is cancelled
// What the progress window looked like while the document was being read.
std::vector<platform::StandInWindow> windowsDuringWalk;

std::int32_t recordingShowOpt(void* instance, void* window, std::int32_t quiet, std::int32_t* reserved,
                              char*) {
  showOptCalls.push_back({instance, window, quiet});
  if (reserved) {
    EXPECT_EQ(*reserved, 0);
  }
  return showOptAnswer;
}

const std::wstring kInstallPath = L"/opt/korvane";
const std::string kDocument = "{\\rtf1\\ansi hello}";

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::regStandInReset();
    platform::regStandInSetDword(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main",
                                 L"serverMode", 0);
    platform::regStandInSetString(RegRoot::LocalMachine, RegView::View32,
                                  L"SOFTWARE\\Korvane\\velotrix", L"path", kInstallPath);
    setUser(L"isProgressWin", 1);
    setUser(L"isStatistics", 1);
    platform::unregisterBuiltInModules();
    platform::registerBuiltInModule(kInstallPath + L"/velotrix/Korvanevlx64.dll",
                                    {{"showOpt", reinterpret_cast<void*>(&recordingShowOpt)}});
    platform::resetStandInWindows();
    platform::resetStandInPrograms();
    platform::setAsyncKeyState(platform::kVkShift, false);
    platform::setAsyncKeyState(platform::kVkControl, false);
    shown.clear();
    showOptCalls.clear();
    showOptAnswer = 0;
    messageAnswer = platform::kIdOk;
    saveRequests.clear();
    saveAnswer.clear();
    windowsDuringWalk.clear();
    platform::setMessageBoxHandler([](platform::WindowHandle, const std::wstring& text,
                                      const std::wstring& caption, std::uint32_t style) {
      shown.push_back({text, caption, style});
      return messageAnswer;
    });
    platform::setSaveDialogHandler([](const platform::SaveDialogRequest& r, std::wstring& path) {
      saveRequests.push_back(r);
      path = saveAnswer;
      return !saveAnswer.empty();
    });
    DllMain(platform::standInSelfModule(), kProcessAttach, nullptr);
    out = tempPath("converter_out.rtf");
    std::remove(out.c_str());
  }
  void TearDown() override {
    platform::setMessageBoxHandler(nullptr);
    platform::setSaveDialogHandler(nullptr);
    std::remove(out.c_str());
  }

  static void setUser(const wchar_t* name, std::uint32_t value) {
    platform::regStandInSetDword(RegRoot::CurrentUser, RegView::View32, L"SOFTWARE\\Korvane\\velotrix",
                                 name, value);
  }

  // One save of `document` to `path` in chunks of 5 bytes; the callback notes the windows.
  std::int32_t save(const std::string& path, void* storage = nullptr,
                    const std::string& document = kDocument) {
    platform::MemHandle name = platform::memAlloc(path.size() + 1);
    std::memcpy(platform::memLock(name), path.c_str(), path.size() + 1);
    platform::memUnlock(name);
    HostBegin(
        [doc = document, offset = std::size_t{0}](char* dest, std::size_t capacity) mutable -> long {
          if (windowsDuringWalk.empty()) windowsDuringWalk = platform::standInWindows();
          std::size_t n = std::min(capacity, doc.size() - offset);
          doc.copy(dest, n, offset);
          offset += n;
          return static_cast<long>(n);
        },
        5);
    std::int32_t result = RtfToForeign32(name, storage, HostBuffer(), nullptr, HostCallback());
    HostEnd();
    platform::memFree(name);
    return result;
  }

  std::string out;
};

TEST_F(ConverterTest, NameListsAndCapabilityBlock) {
  struct Case {
    const char* resource;  // the export descriptions resource; null: none
    std::string descriptions;
  } cases[] = {
      {VLX_EXPORT_DESCRIPTION, std::string(VLX_EXPORT_DESCRIPTION) + std::string(2, '\0')},
      {"One\x01Two", std::string("One\0Two\0\0", 9)},
      {nullptr, std::string(2, '\0')},
  };
  for (const Case& c : cases) {
    platform::clearStandInStringResources();
    if (c.resource) platform::setStandInStringResource(VLX_IDS_EXPORT_DESCRIPTIONS, c.resource);
    platform::MemHandle h[6];
    for (auto& x : h) x = platform::memAlloc(1);
    GetReadNames(h[0], h[1], h[2]);
    GetWriteNames(h[3], h[4], h[5]);
    auto bytes = [](platform::MemHandle m) {
      std::string s(static_cast<const char*>(platform::memLock(m)), platform::memSize(m));
      platform::memUnlock(m);
      return s;
    };
    EXPECT_EQ(bytes(h[0]), std::string(2, '\0'));
    EXPECT_EQ(bytes(h[1]), std::string(2, '\0'));
    EXPECT_EQ(bytes(h[2]), std::string(2, '\0'));
    EXPECT_EQ(bytes(h[3]), std::string("Korvanevlx\0\0", 12));
    EXPECT_EQ(bytes(h[4]), c.descriptions) << (c.resource ? c.resource : "(none)");
    EXPECT_EQ(bytes(h[5]), std::string("rtf\0\0", 5));
    for (auto& x : h) platform::memFree(x);
  }
  // A handle that cannot be resized stops the fill: the later handles stay as they were.
  platform::MemHandle ext = platform::memAlloc(1);
  GetWriteNames(nullptr, nullptr, ext);
  EXPECT_EQ(platform::memSize(ext), 1u);
  platform::memFree(ext);

  platform::MemHandle caps = RegisterApp(7, nullptr);
  ASSERT_NE(caps, nullptr);
  const unsigned char expected[17] = {0x11, 0, 6, 1, 0x19, 0, 0, 0, 4, 2, 3, 0, 3, 3, 0, 2, 4};
  ASSERT_EQ(platform::memSize(caps), 17u);
  EXPECT_EQ(std::memcmp(platform::memLock(caps), expected, 17), 0);
  platform::memUnlock(caps);
  platform::memFree(caps);
  EXPECT_EQ(gConverter.hostFlags, 7u);
  EXPECT_EQ(IsFormatCorrect32(nullptr, nullptr), 1);
  EXPECT_EQ(ForeignToRtf32(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST_F(ConverterTest, SecondAttachIsRefused) {
  // SetUp attached already (this process loads the module once).
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessAttach, nullptr), 0);
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessDetach, nullptr), 1);
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessAttach, nullptr), 1);
  EXPECT_EQ(gConverter.moduleInstance, platform::standInSelfModule());
}

TEST_F(ConverterTest, InitialisationReportsAnIncompleteInstallation) {
  struct Case {
    const char* what;
    void (*breakIt)();
    std::int32_t result;
  } cases[] = {
      {"complete", [] {}, 1},
      {"no machine-wide main key",
       [] { platform::regStandInDeleteKey(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main"); },
       0},
      {"no path",
       [] {
         platform::regStandInDeleteValue(RegRoot::LocalMachine, RegView::View32,
                                         L"SOFTWARE\\Korvane\\velotrix", L"path");
       },
       0},
      {"no options module", [] { platform::unregisterBuiltInModules(); }, 0},
      {"options module without showOpt",
       [] {
         platform::unregisterBuiltInModules();
         platform::registerBuiltInModule(kInstallPath + L"/velotrix/Korvanevlx64.dll", {});
       },
       0},
  };
  for (const Case& c : cases) {
    SetUp();
    c.breakIt();
    EXPECT_EQ(InitConverter32(reinterpret_cast<void*>(0x77), nullptr), c.result) << c.what;
    EXPECT_EQ(gConverter.hostWindow, reinterpret_cast<void*>(0x77));
    if (c.result == 1) {
      EXPECT_TRUE(shown.empty()) << c.what;
    } else {
      ASSERT_EQ(shown.size(), 1u) << c.what;
      EXPECT_EQ(shown[0].text, L"Korvane Velotrix is not properly installed.");
      EXPECT_EQ(shown[0].caption, L"Korvane Math Utilities");
      EXPECT_EQ(shown[0].style, platform::kMbIconError | platform::kMbOk);
    }
  }
}

TEST_F(ConverterTest, ModifierKeysReachTheOptionsDialog) {
  struct Case {
    bool shift, ctrl;
    std::int32_t quiet;
  } cases[] = {{false, false, 1}, {true, false, 0}, {false, true, 0}, {true, true, 0}};
  for (const Case& c : cases) {
    platform::setAsyncKeyState(platform::kVkShift, c.shift);
    platform::setAsyncKeyState(platform::kVkControl, c.ctrl);
    showOptCalls.clear();
    ASSERT_EQ(InitConverter32(reinterpret_cast<void*>(0x42), nullptr), 1);
    EXPECT_EQ(save(out), kRtfDone);
    ASSERT_EQ(showOptCalls.size(), 1u);
    EXPECT_EQ(showOptCalls[0].quiet, c.quiet) << c.shift << c.ctrl;
    EXPECT_EQ(showOptCalls[0].instance, platform::standInSelfModule());
    EXPECT_EQ(showOptCalls[0].window, reinterpret_cast<void*>(0x42));
  }
}

TEST_F(ConverterTest, RegistrationWritesTheExportSide) {
  platform::setStandInModuleFileName(L"/opt/korvane/velotrix/Korvanevlx.cnv");
  platform::setStandInStringResource(VLX_IDS_EXPORT_DESCRIPTIONS, VLX_EXPORT_DESCRIPTION);
  platform::RegKey root =
      platform::regCreateKey(platform::regRootKey(RegRoot::CurrentUser), L"Software\\Host\\Word");
  ASSERT_EQ(FRegisterConverter(root), 1);
  platform::regCloseKey(root);
  auto value = [](const wchar_t* name) {
    std::vector<unsigned char> data;
    std::uint32_t type = 0;
    if (!platform::regStandInGetValue(RegRoot::CurrentUser, RegView::View64,
                                      L"Software\\Host\\Word\\Text Converters\\Export\\Korvanevlx",
                                      name, data, &type))
      return std::string("<missing>");
    EXPECT_EQ(type, platform::kRegSz);
    return std::string(data.begin(), data.end());  // ANSI bytes, no terminating zero
  };
  EXPECT_EQ(value(L"Extensions"), "rtf");
  EXPECT_EQ(value(L"Name"), VLX_EXPORT_DESCRIPTION);
  EXPECT_EQ(value(L"Path"), "/opt/korvane/velotrix/Korvanevlx.cnv");
  std::vector<unsigned char> none;
  EXPECT_FALSE(platform::regStandInGetValue(RegRoot::CurrentUser, RegView::View64,
                                            L"Software\\Host\\Word\\Text Converters\\Import", L"",
                                            none));

  platform::setStandInModuleFileName(L"");
  EXPECT_EQ(FRegisterConverter(platform::regRootKey(RegRoot::CurrentUser)), 0);
  platform::setStandInModuleFileName(L"/usr/lib/velotrix/Korvanevlx.cnv");
}

TEST_F(ConverterTest, ResultCodesBeforeTheOutputExists) {
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  int storage = 0;
  EXPECT_EQ(save(out, &storage), kRtfForeignStorage);
  EXPECT_FALSE(std::ifstream(out).good());

  platform::MemHandle freed = platform::memAlloc(8);
  platform::memFree(freed);
  EXPECT_EQ(RtfToForeign32(freed, nullptr, nullptr, nullptr, nullptr), kRtfBadFileName);
  // A name with no end inside the 512-byte buffer is refused the same way.
  EXPECT_EQ(save("/tmp/" + std::string(600, 'x')), kRtfBadFileName);
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(showOptCalls.empty());
}

TEST_F(ConverterTest, UncreatableOutputOffersTheSaveDialog) {
  struct Case {
    std::uint32_t serverMode;
    std::wstring dialogAnswer;
    std::int32_t result;
    std::size_t messages;  // "Unable to save" boxes
  } cases[] = {
      {0, L"", kRtfNoOutputFile, 1},
      {1, L"", kRtfNoOutputFile, 0},
      {0, L"(chosen)", kRtfDone, 1},
  };
  for (const Case& c : cases) {
    SetUp();
    setUser(L"isStatistics", 0);
    platform::regStandInSetDword(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main",
                                 L"serverMode", c.serverMode);
    ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
    saveAnswer = c.dialogAnswer.empty() ? L"" : std::wstring(out.begin(), out.end());
    EXPECT_EQ(save("/nonexistent/folder/out.rtf"), c.result);
    ASSERT_EQ(shown.size(), c.messages);
    ASSERT_EQ(saveRequests.size(), c.messages);
    if (c.messages) {
      EXPECT_EQ(shown[0].text,
                L"Unable to save the file. Try to use only Latin characters for file and folder names.");
      EXPECT_EQ(shown[0].caption, L"Korvane Math Utilities");
      EXPECT_EQ(shown[0].style, 0x30u);
      const auto& r = saveRequests[0];
      EXPECT_EQ(r.title, L"Re-save as Microsoft Equation - RTF [Korvane]:");
      EXPECT_EQ(r.filter, (std::vector<std::wstring>{L"RTF Files", L"*.rtf", L"All", L"*.*"}));
      EXPECT_EQ(r.filterIndex, 1u);
      EXPECT_EQ(r.defaultExtension, L"rtf");
      EXPECT_EQ(r.flags, 0x28800u);
      EXPECT_EQ(r.maxPath, 1000u);
    }
    EXPECT_EQ(showOptCalls.size(), c.result == kRtfDone ? 1u : 0u);
    if (c.result == kRtfDone) {
      EXPECT_EQ(readFile(out), "{\\rtf1 \\ansi hello}");
    }
  }
}

TEST_F(ConverterTest, OptionsDialogAnswers) {
  struct Case {
    std::int32_t answer;
    bool converts;
  } cases[] = {{0, true}, {1, false}, {2, true}, {9, true}, {10, false}, {11, false}};
  for (const Case& c : cases) {
    SetUp();
    ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
    showOptAnswer = c.answer;
    EXPECT_EQ(save(out), kRtfDone);
    EXPECT_EQ(readFile(out), c.converts ? "{\\rtf1 \\ansi hello}" : "") << c.answer;
    EXPECT_EQ(shown.size(), c.converts ? 1u : 0u) << c.answer;  // the statistics
  }
}

TEST_F(ConverterTest, TheDialogsChoicesApplyToTheSameSave) {
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  // The options module stores new choices; the run must read them before it goes on.
  showOptAnswer = 0;
  setUser(L"eqVersion", 1);
  platform::unregisterBuiltInModules();
  platform::registerBuiltInModule(
      kInstallPath + L"/velotrix/Korvanevlx64.dll",
      {{"showOpt", reinterpret_cast<void*>(+[](void*, void*, std::int32_t, std::int32_t*, char*) -> std::int32_t {
          platform::regStandInSetDword(RegRoot::CurrentUser, RegView::View32,
                                       L"SOFTWARE\\Korvane\\velotrix", L"isStatistics", 0);
          platform::regStandInSetDword(RegRoot::CurrentUser, RegView::View32,
                                       L"SOFTWARE\\Korvane\\velotrix", L"isEuclid", 1);
          return 0;
        })}});
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  EXPECT_EQ(gSettings.isStatistics, 1u);
  EXPECT_EQ(save(out), kRtfDone);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(gSettings.isEuclid, 1u);
}

TEST_F(ConverterTest, StatisticsCountSinceInitialisation) {
  setUser(L"isUniPrime", 1);
  setUser(L"isEuclid", 0);
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  convertedCount = 2;  // as if two equations had been replaced
  EXPECT_EQ(save(out), kRtfDone);
  EXPECT_EQ(save(out), kRtfDone);  // a second save does not reset the count
  ASSERT_EQ(shown.size(), 2u);
  for (const Shown& s : shown) {
    EXPECT_EQ(s.caption, L"Korvane Math Utilities  statistics");
    EXPECT_EQ(s.style, 0x40u);
    EXPECT_EQ(s.text.rfind(L"Equation format: Microsoft Equation [2];\r\n(+) Force Unicode;\r\n"
                           L"(-) Allow MathType fonts.\r\n",
                           0),
              0u)
        << std::string(s.text.begin(), s.text.end());
  }
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  EXPECT_EQ(convertedCount, 0);
}

TEST_F(ConverterTest, EquationEditorFormatRunsTheServerAndWarns) {
  setUser(L"eqVersion", 0);
  setUser(L"isStatistics", 0);
  platform::regStandInSetString(RegRoot::LocalMachine, RegView::View64,
                                L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\LocalServer32",
                                L"", L"C:\\Tools\\EQNEDT32.EXE");
  // A redirection the 64-bit view cannot delete.
  const wchar_t* redirect = L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\AutoConvertTo";
  struct Case {
    int answer;
    bool converts;
  } cases[] = {{platform::kIdCancel, false}, {platform::kIdOk, true}};
  for (const Case& c : cases) {
    shown.clear();
    platform::resetStandInPrograms();
    platform::WindowHandle editor = platform::addStandInTopLevelWindow("EQNWINCLASS");
    platform::WindowHandle inside = platform::addStandInTopLevelWindow("MyEQNWINCLASSx");
    platform::addStandInTopLevelWindow("EQNWINCLAS");         // not the class
    platform::addStandInTopLevelWindow("ABCDEFEQNWINCLASS");  // read as 15 characters
    platform::addStandInTopLevelWindow("");                   // name cannot be read
    platform::regStandInSetString(RegRoot::LocalMachine, RegView::View64, redirect, L"", L"MathType");
    platform::regStandInDenyWrite(RegRoot::LocalMachine, RegView::View64, redirect, true);
    ASSERT_EQ(InitConverter32(reinterpret_cast<void*>(0x5), nullptr), 1);
    messageAnswer = c.answer;
    EXPECT_EQ(save(out), kRtfDone);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text.rfind(L"Cannot use Equation Editor 3.x format, because the 'Convert to "
                                  L"MathType' option is enabled.",
                                  0),
              0u);
    EXPECT_EQ(shown[0].style, 0x131u);
    EXPECT_EQ(readFile(out).empty(), !c.converts);
    auto started = platform::standInStartedPrograms();
    auto posted = platform::standInPostedMessages();
    if (!c.converts) {
      EXPECT_TRUE(started.empty());
      EXPECT_TRUE(posted.empty());
      continue;
    }
    EXPECT_EQ(started, std::vector<std::wstring>{L"C:\\Tools\\EQNEDT32.EXE"});
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].window, editor);
    EXPECT_EQ(posted[1].window, inside);
    EXPECT_EQ(posted[0].message, platform::kWmClose);
  }
}

TEST_F(ConverterTest, ProgressWindowDuringTheWalk) {
  struct Case {
    std::uint32_t serverMode, isProgressWin;
    bool shows;
  } cases[] = {{0, 1, true}, {0, 0, false}, {1, 1, false}};
  for (const Case& c : cases) {
    SetUp();
    platform::regStandInSetDword(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main",
                                 L"serverMode", c.serverMode);
    setUser(L"isProgressWin", c.isProgressWin);
    platform::WindowHandle owner =
        platform::createStandInWindow(L"OpusApp", platform::Rect{0, 0, 1000, 700});
    ASSERT_EQ(InitConverter32(owner, nullptr), 1);
    EXPECT_EQ(save(out), kRtfDone);
    std::vector<platform::StandInWindow> progress;
    for (const auto& w : windowsDuringWalk)
      if (w.className == L"KVNPROGRESSWIN" || w.className == L"BUTTON") progress.push_back(w);
    ASSERT_EQ(progress.size(), c.shows ? 2u : 0u);
    if (c.shows) {
      EXPECT_EQ(progress[0].text, L"Korvane Math Utilities");
      EXPECT_EQ(progress[0].parent, owner);
      EXPECT_EQ(progress[1].text, L"Cancel");
      EXPECT_NE(progress[1].style & 0x08000000u, 0u) << "the button is disabled during a run";
      EXPECT_EQ(gProgressWindow.firstLine, L"Preparing content, it may take a few minutes.");
      EXPECT_EQ(gProgressWindow.secondLine, L"Please wait while Microsoft Word configures content.");
    }
    // Closed again after the walk.
    for (const auto& w : platform::standInWindows()) EXPECT_NE(w.className, L"KVNPROGRESSWIN");
  }
}

}  // namespace
