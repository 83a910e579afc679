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
  std::wstring text;
  std::uint32_t style;
};
struct ShowOptCall {
  void* instance;
  void* window;
  std::int32_t quiet;
};
// What the host saw and what it answers; reset before every case.
struct Host {
  std::vector<Shown> shown;
  std::vector<ShowOptCall> showOptCalls;
  std::int32_t showOptAnswer = 0;
  int messageAnswer = platform::kIdOk;
  std::size_t saveDialogs = 0;
  std::wstring saveAnswer;  // empty: the dialog is cancelled
  std::vector<platform::StandInWindow> windowsDuringWalk;  // as they were while reading
} host;

std::int32_t recordingShowOpt(void* instance, void* window, std::int32_t quiet, std::int32_t* reserved,
                              char*) {
  host.showOptCalls.push_back({instance, window, quiet});
  if (reserved) { EXPECT_EQ(*reserved, 0); }
  return host.showOptAnswer;
}

const std::wstring kInstallPath = L"/opt/korvane";
const std::string kDocument = "{\\rtf1\\ansi hello}";

class ConverterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::regStandInReset();
    setServerMode(0);
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
    host = Host{};
    platform::setMessageBoxHandler([](platform::WindowHandle, const std::wstring& text,
                                      const std::wstring&, std::uint32_t style) {
      host.shown.push_back({text, style});
      return host.messageAnswer;
    });
    platform::setSaveDialogHandler([](const platform::SaveDialogRequest&, std::wstring& path) {
      ++host.saveDialogs;
      path = host.saveAnswer;
      return !host.saveAnswer.empty();
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
  static void setServerMode(std::uint32_t value) {
    platform::regStandInSetDword(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\main",
                                 L"serverMode", value);
  }

  // One save of the document to `path` in chunks of 5 bytes; the callback notes the windows.
  std::int32_t save(const std::string& path, void* storage = nullptr) {
    platform::MemHandle name = platform::memAlloc(path.size() + 1);
    std::memcpy(platform::memLock(name), path.c_str(), path.size() + 1);
    platform::memUnlock(name);
    HostBegin(
        [doc = std::string(kDocument), offset = std::size_t{0}](char* dest, std::size_t capacity) mutable -> long {
          if (host.windowsDuringWalk.empty()) host.windowsDuringWalk = platform::standInWindows();
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
  auto bytes = [](platform::MemHandle m) {
    std::string s(static_cast<const char*>(platform::memLock(m)), platform::memSize(m));
    platform::memUnlock(m);
    return s;
  };
  const std::pair<const char*, std::string> descriptions[] = {
      {"One\x01Two", std::string("One\0Two\0\0", 9)},  // \x01 separates the names
      {nullptr, std::string(2, '\0')},                  // no resource
  };
  for (const auto& [resource, expected] : descriptions) {
    platform::clearStandInStringResources();
    if (resource) platform::setStandInStringResource(VLX_IDS_EXPORT_DESCRIPTIONS, resource);
    platform::MemHandle h[6];
    for (auto& x : h) x = platform::memAlloc(1);
    GetReadNames(h[0], h[1], h[2]);
    GetWriteNames(h[3], h[4], h[5]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(bytes(h[i]), std::string(2, '\0'));
    EXPECT_EQ(bytes(h[3]), std::string("Korvanevlx\0\0", 12));
    EXPECT_EQ(bytes(h[4]), expected);
    EXPECT_EQ(bytes(h[5]), std::string("rtf\0\0", 5));
    for (auto& x : h) platform::memFree(x);
  }
  // A handle that cannot be resized stops the fill: the later handles stay as they were.
  platform::MemHandle ext = platform::memAlloc(1);
  GetWriteNames(nullptr, nullptr, ext);
  EXPECT_EQ(platform::memSize(ext), 1u);
  platform::memFree(ext);

  // The block starts with its own size.
  platform::MemHandle caps = RegisterApp(7, nullptr);
  ASSERT_NE(caps, nullptr);
  const std::string block = bytes(caps);
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(block[0]) | static_cast<unsigned char>(block[1]) << 8, block.size());
  platform::memFree(caps);
}

TEST_F(ConverterTest, SecondAttachIsRefused) {
  // SetUp attached already (this process loads the module once).
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessAttach, nullptr), 0);
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessDetach, nullptr), 1);
  EXPECT_EQ(DllMain(platform::standInSelfModule(), kProcessAttach, nullptr), 1);
  EXPECT_EQ(gConverter.moduleInstance, platform::standInSelfModule());
}

TEST_F(ConverterTest, InitialisationReportsAnIncompleteInstallation) {
  auto noPath = [] {
    platform::regStandInDeleteValue(RegRoot::LocalMachine, RegView::View32, L"SOFTWARE\\Korvane\\velotrix", L"path");
  };
  auto noShowOpt = [] {
    platform::unregisterBuiltInModules();
    platform::registerBuiltInModule(kInstallPath + L"/velotrix/Korvanevlx64.dll", {});
  };
  struct Case {
    const char* what;
    void (*breakIt)();
    std::int32_t result;
  } cases[] = {{"complete", [] {}, 1}, {"no path", noPath, 0},
               {"no options module", [] { platform::unregisterBuiltInModules(); }, 0},
               {"options module without showOpt", noShowOpt, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.breakIt();
    EXPECT_EQ(InitConverter32(reinterpret_cast<void*>(0x77), nullptr), c.result);
    EXPECT_EQ(gConverter.hostWindow, reinterpret_cast<void*>(0x77));
    ASSERT_EQ(host.shown.size(), c.result ? 0u : 1u);
    if (!c.result) {
      EXPECT_EQ(host.shown[0].text, L"Korvane Velotrix is not properly installed.");
      EXPECT_EQ(host.shown[0].style, platform::kMbIconError | platform::kMbOk);
    }
  }
}

// Shift or Ctrl asks the options dialog to show itself; answer 1 or 10 and above cancel.
TEST_F(ConverterTest, OptionsDialogKeysAndAnswers) {
  struct Case {
    bool shift, ctrl;
    std::int32_t answer, quiet;
    bool converts;
  } cases[] = {{false, false, 1, 1, false}, {true, false, 2, 0, true}, {false, true, 9, 0, true},
               {false, false, 10, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    SetUp();
    platform::setAsyncKeyState(platform::kVkShift, c.shift);
    platform::setAsyncKeyState(platform::kVkControl, c.ctrl);
    ASSERT_EQ(InitConverter32(reinterpret_cast<void*>(0x42), nullptr), 1);
    host.showOptAnswer = c.answer;
    EXPECT_EQ(save(out), kRtfDone);
    ASSERT_EQ(host.showOptCalls.size(), 1u);
    EXPECT_EQ(host.showOptCalls[0].quiet, c.quiet);
    EXPECT_EQ(host.showOptCalls[0].instance, platform::standInSelfModule());
    EXPECT_EQ(host.showOptCalls[0].window, reinterpret_cast<void*>(0x42));
    EXPECT_EQ(readFile(out), c.converts ? "{\\rtf1 \\ansi hello}" : "");
    EXPECT_EQ(host.shown.size(), c.converts ? 1u : 0u);  // the statistics
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
    platform::regStandInGetValue(RegRoot::CurrentUser, RegView::View64,
                                 L"Software\\Host\\Word\\Text Converters\\Export\\Korvanevlx", name, data, &type);
    EXPECT_EQ(type, platform::kRegSz);
    return std::string(data.begin(), data.end());  // ANSI bytes, no terminating zero
  };
  EXPECT_EQ(value(L"Extensions"), "rtf");
  EXPECT_EQ(value(L"Name"), VLX_EXPORT_DESCRIPTION);
  EXPECT_EQ(value(L"Path"), "/opt/korvane/velotrix/Korvanevlx.cnv");
  std::vector<unsigned char> none;
  EXPECT_FALSE(platform::regStandInGetValue(RegRoot::CurrentUser, RegView::View64,
                                            L"Software\\Host\\Word\\Text Converters\\Import", L"", none));

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
  EXPECT_TRUE(host.shown.empty());
  EXPECT_TRUE(host.showOptCalls.empty());
}

TEST_F(ConverterTest, UncreatableOutputOffersTheSaveDialog) {
  struct Case {
    std::uint32_t serverMode;
    bool choosesPath;
    std::int32_t result;
    std::size_t messages;  // "Unable to save" boxes, each followed by the dialog
  } cases[] = {{0, false, kRtfNoOutputFile, 1}, {1, false, kRtfNoOutputFile, 0}, {0, true, kRtfDone, 1}};
  for (const Case& c : cases) {
    SetUp();
    setUser(L"isStatistics", 0);
    setServerMode(c.serverMode);
    ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
    host.saveAnswer = c.choosesPath ? std::wstring(out.begin(), out.end()) : L"";
    EXPECT_EQ(save("/nonexistent/folder/out.rtf"), c.result);
    ASSERT_EQ(host.shown.size(), c.messages);
    ASSERT_EQ(host.saveDialogs, c.messages);
    if (c.messages) { EXPECT_EQ(host.shown[0].text.rfind(L"Unable to save the file.", 0), 0u); }
    EXPECT_EQ(host.showOptCalls.size(), c.choosesPath ? 1u : 0u);
    if (c.choosesPath) { EXPECT_EQ(readFile(out), "{\\rtf1 \\ansi hello}"); }
  }
}

TEST_F(ConverterTest, TheDialogsChoicesApplyToTheSameSave) {
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  // The options module stores new choices; the run must read them before it goes on.
  setUser(L"eqVersion", 1);
  platform::unregisterBuiltInModules();
  platform::registerBuiltInModule(
      kInstallPath + L"/velotrix/Korvanevlx64.dll",
      {{"showOpt", reinterpret_cast<void*>(+[](void*, void*, std::int32_t, std::int32_t*, char*) -> std::int32_t {
          setUser(L"isStatistics", 0);
          setUser(L"isEuclid", 1);
          return 0;
        })}});
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  EXPECT_EQ(gSettings.isStatistics, 1u);
  EXPECT_EQ(save(out), kRtfDone);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(gSettings.isEuclid, 1u);
}

TEST_F(ConverterTest, StatisticsCountSinceInitialisation) {
  setUser(L"isUniPrime", 1);
  setUser(L"isEuclid", 0);
  ASSERT_EQ(InitConverter32(nullptr, nullptr), 1);
  convertedCount = 2;  // as if two equations had been replaced
  EXPECT_EQ(save(out), kRtfDone);
  EXPECT_EQ(save(out), kRtfDone);  // a second save does not reset the count
  ASSERT_EQ(host.shown.size(), 2u);
  for (const Shown& s : host.shown)
    EXPECT_EQ(s.text.rfind(L"Equation format: Microsoft Equation [2];\r\n(+) Force Unicode;\r\n(-) Allow", 0), 0u);
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
    host.shown.clear();
    platform::resetStandInPrograms();
    auto editor = platform::addStandInTopLevelWindow("EQNWINCLASS");
    auto inside = platform::addStandInTopLevelWindow("MyEQNWINCLASSx");
    platform::addStandInTopLevelWindow("EQNWINCLAS");         // not the class
    platform::addStandInTopLevelWindow("ABCDEFEQNWINCLASS");  // read as 15 characters
    platform::addStandInTopLevelWindow("");                   // name cannot be read
    platform::regStandInSetString(RegRoot::LocalMachine, RegView::View64, redirect, L"", L"MathType");
    platform::regStandInDenyWrite(RegRoot::LocalMachine, RegView::View64, redirect, true);
    ASSERT_EQ(InitConverter32(reinterpret_cast<void*>(0x5), nullptr), 1);
    host.messageAnswer = c.answer;
    EXPECT_EQ(save(out), kRtfDone);
    ASSERT_EQ(host.shown.size(), 1u);
    EXPECT_EQ(host.shown[0].text.rfind(L"Cannot use Equation Editor 3.x format", 0), 0u);
    EXPECT_EQ(host.shown[0].style, 0x131u);  // OK and Cancel, Cancel the default
    EXPECT_EQ(readFile(out).empty(), !c.converts);
    auto started = platform::standInStartedPrograms();
    auto posted = platform::standInPostedMessages();
    EXPECT_EQ(started.size(), c.converts ? 1u : 0u);
    ASSERT_EQ(posted.size(), c.converts ? 2u : 0u);
    if (!c.converts) continue;
    EXPECT_EQ(started[0], L"C:\\Tools\\EQNEDT32.EXE");
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
    setServerMode(c.serverMode);
    setUser(L"isProgressWin", c.isProgressWin);
    platform::WindowHandle owner = platform::createStandInWindow(L"OpusApp", platform::Rect{0, 0, 1000, 700});
    ASSERT_EQ(InitConverter32(owner, nullptr), 1);
    EXPECT_EQ(save(out), kRtfDone);
    std::vector<platform::StandInWindow> progress;
    for (const auto& w : host.windowsDuringWalk)
      if (w.className == L"KVNPROGRESSWIN" || w.className == L"BUTTON") progress.push_back(w);
    ASSERT_EQ(progress.size(), c.shows ? 2u : 0u);
    if (c.shows) {
      EXPECT_EQ(progress[0].parent, owner);
      EXPECT_NE(progress[1].style & 0x08000000u, 0u) << "the button is disabled during a run";
      EXPECT_EQ(gProgressWindow.firstLine, L"Preparing content, it may take a few minutes.");
    }
    // Closed again after the walk.
    for (const auto& w : platform::standInWindows()) EXPECT_NE(w.className, L"KVNPROGRESSWIN");
  }
}

}  // namespace
