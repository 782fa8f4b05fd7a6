// The main window end to end, headless: the real CTesmerDlg with its work
// panel, driven by injected input through SDL's dummy video driver, and the
// message boxes it opens answered the way a user would (keys and clicks)
// while their modal loops run.
#include "app/tesmer_dlg.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "analysis/character_set.h"
#include "app/resources.h"
#include "controls/message_box.h"
#include "platform/core/format.h"
#include "platform/core/text.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/window/testing.h"
#include "platform/window/window.h"
#include "tests/support/dicom_builder.h"
#include "tests/support/temp_dir.h"

using namespace plat;

namespace {

std::vector<uint8_t> StudyFile(const std::string& patient, int instance) {
  fixture::SimpleFile recipe;
  recipe.patientName = patient;
  recipe.patientId = "ID-" + patient;
  recipe.sopInstanceUid = "1.2.3.4.5.6.7." + std::to_string(instance);
  return fixture::BuildSimpleFile(recipe);
}

// A file with a long tag list: 120 private text elements after the patient.
std::vector<uint8_t> LongFile() {
  fixture::DicomBuilder b;
  b.Preamble().Meta(fixture::kExplicitLittle, "1.2.840.10008.5.1.4.1.1.2", "1.2.3.4.9");
  b.Text(0x0010, 0x0010, "PN", "LONG^LIST").Text(0x0010, 0x0020, "LO", "ID-LONG");
  b.Uid(0x0020, 0x000D, "1.2.3.4.5").Uid(0x0020, 0x000E, "1.2.3.4.5.9");
  for (uint16_t e = 0x1000; e < 0x1000 + 120; ++e) b.Text(0x0011, e, "LO", "VALUE");
  return b.Bytes();
}

std::u16string U(const std::string& s) { return PathFromNative(s); }

bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    PumpPendingMessages();
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

RECT ScreenRectOf(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  return r;
}

// Answers the message boxes the window opens: a hidden window of its own
// looks for an open box on a short timer (timers run in every modal loop)
// and performs the next answer on it, the way a user would.
class BoxAnswerer {
 public:
  using Answer = std::function<void(HWND box)>;
  struct Seen {
    std::u16string text;
    bool yes = false, no = false, ok = false;
  };

  BoxAnswerer() : state_(std::make_shared<State>()) {
    WNDCLASSW c;
    c.name = u"BoxAnswerer";
    auto state = state_;
    c.proc = [state](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
      if (m == WM_TIMER) Tick(*state);
      return DefWindowProcW(h, m, w, l);
    };
    RegisterClassW(c);
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, u"BoxAnswerer", u"", WS_POPUP, 0, 0, 1, 1, HWND{}, 0);
    SetTimer(window_, 1, 5);
  }
  ~BoxAnswerer() {
    if (IsWindow(window_)) DestroyWindow(window_);
  }

  void Then(Answer answer) { state_->answers.push_back(std::move(answer)); }
  const std::vector<Seen>& seen() const { return state_->seen; }
  size_t pending() const { return state_->answers.size(); }

  static Answer Press(uint32_t key) {
    return [key](HWND) { InjectKeyPress(key); };
  }
  static Answer Click(int id) {
    return [id](HWND box) { InjectClick(GetDlgItem(box, id), POINT{5, 5}); };
  }

 private:
  struct State {
    std::deque<Answer> answers;
    std::vector<Seen> seen;
    HWND last;
  };

  static void Tick(State& s) {
    for (HWND t : GetTopLevelWindows()) {
      if (!IsWindowVisible(t) || t == GetMainWindow() || t == s.last) continue;
      if ((GetWindowLongW(t, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) continue;
      // A message box: its text line is a static (the main window's 1014 is
      // a button).
      HWND text = GetDlgItem(t, kMessageBoxTextId);
      if (!text || GetClassNameW(text) != WC_STATIC) continue;
      s.last = t;
      Seen seen;
      seen.text = GetDlgItemTextW(t, kMessageBoxTextId);
      seen.yes = IsWindowVisible(GetDlgItem(t, IDYES));
      seen.no = IsWindowVisible(GetDlgItem(t, IDNO));
      seen.ok = IsWindowVisible(GetDlgItem(t, IDOK));
      s.seen.push_back(seen);
      if (!s.answers.empty()) {
        Answer a = std::move(s.answers.front());
        s.answers.pop_front();
        a(t);
      }
      return;
    }
  }

  std::shared_ptr<State> state_;
  HWND window_;
};

// Runs `step` every few milliseconds from a timer (so also inside modal
// loops) until it returns true.
class TimerScript {
 public:
  explicit TimerScript(std::function<bool()> step) : state_(std::make_shared<State>()) {
    state_->step = std::move(step);
    WNDCLASSW c;
    c.name = u"TimerScript";
    auto state = state_;
    c.proc = [state](HWND h, uint32_t m, uintptr_t w, intptr_t l) -> intptr_t {
      if (m == WM_TIMER && !state->done) state->done = state->step();
      return DefWindowProcW(h, m, w, l);
    };
    RegisterClassW(c);
    window_ = CreateWindowExW(WS_EX_TOOLWINDOW, u"TimerScript", u"", WS_POPUP, 0, 0, 1, 1, HWND{}, 0);
    SetTimer(window_, 1, 5);
  }
  ~TimerScript() {
    if (IsWindow(window_)) DestroyWindow(window_);
  }
  bool done() const { return state_->done; }

 private:
  struct State {
    std::function<bool()> step;
    bool done = false;
  };
  std::shared_ptr<State> state_;
  HWND window_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_TRUE(StartSdlPlatform(true));
  }
  static void TearDownTestSuite() { StopSdlPlatform(); }

  void SetUp() override {
    InitColumnTable();
    dialog = std::make_unique<CTesmerDlg>();
    ASSERT_TRUE(dialog->Create());
    main = dialog->GetSafeHwnd();
    // Every text the status line is given, in order.
    HWND s = Item(kStatusLineId);
    WindowProc previous = GetWindowProcedure(s);
    auto log = statusLog;
    SubclassWindow(s, [log, previous](HWND h, uint32_t m, uintptr_t w, intptr_t l) {
      if (m == WM_SETTEXT && l != 0) log->push_back(reinterpret_cast<const char16_t*>(l));
      return CallWindowProcW(previous, h, m, w, l);
    });
    // Commands that reach the window.
    WindowProc inner = GetWindowProcedure(main);
    auto commands = commandLog;
    SubclassWindow(main, [commands, inner](HWND h, uint32_t m, uintptr_t w, intptr_t l) {
      if (m == WM_COMMAND) commands->push_back(LOWORD(w));
      return CallWindowProcW(inner, h, m, w, l);
    });
    PumpPendingMessages();
  }
  void TearDown() override {
    answerer.reset();
    dialog.reset();
    ResetWindowState();
  }

  HWND Item(int id) const { return GetDlgItem(main, id); }
  std::u16string Status() const { return GetDlgItemTextW(main, kStatusLineId); }
  bool Shown(int id) const { return IsWindowVisible(Item(id)); }

  // A folder of three files (two of one patient, one of another) and one
  // file in a folder of its own.
  void WriteStudy() {
    folder = dir.Join("study");
    dir.Write("study/a.dcm", StudyFile("ZHANG^SAN", 1));
    dir.Write("study/b.dcm", StudyFile("ZHANG^SAN", 2));
    dir.Write("study/IM0003", StudyFile("LI^SI", 3));
    single = dir.Write("one/single.dcm", StudyFile("WANG^WU", 4));
  }
  // Drops the study and waits for the loader's end.
  void DropStudy() {
    WriteStudy();
    InjectDrop(main, {U(folder), U(single)});
    ASSERT_TRUE(PumpUntil([&] { return !statusLog->empty() && statusLog->back() == u"文件加载完毕"; }));
    dialog->panel.Redraw();
    ASSERT_EQ(dialog->panel.collection.ShownFileCount(), 4);
  }
  // The first series with at least two shown files.
  const SeriesEntry* PairSeries() {
    const SeriesEntry* pair = nullptr;
    dialog->panel.collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& s) {
      if (pair == nullptr && s.shownFiles.length >= 2) pair = &s;
    });
    return pair;
  }
  POINT RowPoint(const SeriesEntry& s, int row) {
    return POINT{s.listRect.left + 10, s.listRect.top + row * s.listRowHeight + 3};
  }
  void ClickPanel(POINT p, int button = 0) {
    InjectClick(Item(kPanelSurfaceId), p, button);
    PumpPendingMessages();
  }
  void ClickButton(int id) {
    InjectClick(Item(id), POINT{4, 4});
    PumpPendingMessages();
  }
  // Clicks a button that opens a box and waits until the answers are used.
  void ClickAndAnswer(int id) {
    InjectClick(Item(id), POINT{4, 4});
    ASSERT_TRUE(PumpUntil([&] { return answerer->pending() == 0 && IsWindowEnabled(main); }));
    PumpPendingMessages();
  }

  fixture::TempDir dir;
  std::string folder, single;
  std::unique_ptr<CTesmerDlg> dialog;
  HWND main;
  std::shared_ptr<std::vector<std::u16string>> statusLog = std::make_shared<std::vector<std::u16string>>();
  std::shared_ptr<std::vector<int>> commandLog = std::make_shared<std::vector<int>>();
  std::unique_ptr<BoxAnswerer> answerer = std::make_unique<BoxAnswerer>();
};

TEST_F(MainWindowTest, StartUpShowsOnlyTheWidthToggleAndTheStatusTemplateText) {
  EXPECT_EQ(Status(), u"输出信息");
  EXPECT_EQ(GetWindowTextW(main), u"Quoril Tesmer");
  EXPECT_TRUE(Shown(kWidthToggleId));
  for (int id : {kAnonymizeButtonId, kPositionColumnButtonId, kClearButtonId, kLoadButtonId, kTidyButtonId})
    EXPECT_FALSE(Shown(id)) << id;
  for (int id : {kValueColumnButtonId, kVrColumnButtonId, kLengthColumnButtonId, kDescriptionColumnButtonId,
                 kTagValueColumnButtonId, kNameColumnButtonId}) {
    EXPECT_FALSE(Shown(id)) << id;
    EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
  }
  EXPECT_TRUE(Shown(kNoticeId));
  EXPECT_EQ(GetDlgItemTextW(main, kNoticeId), kNoticeText);
  // The face, the panel's background and the notice's grey-blue text.
  RECT notice;
  GetClientRect(Item(kNoticeId), &notice);
  EXPECT_EQ(GetWindowPixel(main, 2, 2), RGB(34, 37, 43));
  EXPECT_EQ(GetWindowPixel(Item(kPanelSurfaceId), 3, 3), RGB(18, 20, 23));
  int grey = 0;
  WindowPixels px = CopyWindowPixels(Item(kNoticeId));
  for (uint32_t p : px.pixels) grey += p == PixelFromColor(RGB(148, 152, 160));
  EXPECT_GT(grey, 20);
  // The about item of the system menu.
  EXPECT_GE(GetMenuItemCount(GetSystemMenu(main, false)), 2);
  // The tooltips of the buttons.
  struct Tip {
    int id;
    const char16_t* text;
  } tips[] = {
      {kAnonymizeButtonId, u"将打开的DICOM文件进行脱敏化"},
      {kLoadButtonId, u"导入文件"},
      {kClearButtonId, u"关闭所有文件，并清空列表"},
      {kPositionColumnButtonId, u"显示每个标签在DICOM文件中的位置"},
      {kWidthToggleId, u"扩大/缩小工作区"},
      {kTidyButtonId, u"对文件列表进行归类整理"},
  };
  for (const Tip& tip : tips) {
    const CFlatButton* button = nullptr;
    for (const CFlatButton& b : dialog->buttons)
      if (b.GetSafeHwnd() == Item(tip.id)) button = &b;
    ASSERT_NE(button, nullptr) << tip.id;
    TOOLINFOW info;
    info.hwnd = Item(tip.id);
    info.uId = 1;
    SendMessageW(button->Tooltip(), TTM_GETTEXTW, 0, reinterpret_cast<intptr_t>(&info));
    EXPECT_EQ(info.text, tip.text) << tip.id;
  }
}

TEST_F(MainWindowTest, LayoutKeepsTheNoticeClearOfPanelAndButtonsAtEverySize) {
  for (SIZE size : {SIZE{1010, 730}, SIZE{1300, 900}, SIZE{1748, 1000}, SIZE{1900, 760}}) {
    InjectResize(main, size);
    PumpPendingMessages();
    RECT client;
    GetClientRect(main, &client);
    RECT panel = ScreenRectOf(Item(kPanelSurfaceId));
    RECT status = ScreenRectOf(Item(kStatusLineId));
    RECT notice = ScreenRectOf(Item(kNoticeId));
    EXPECT_EQ(panel.right - panel.left, client.right) << size.cx;
    EXPECT_EQ(panel.bottom, status.top) << size.cx;
    EXPECT_FALSE(Overlap(notice, panel)) << size.cx;
    EXPECT_FALSE(Overlap(notice, status)) << size.cx;
    for (int id : CTesmerDlg::kButtonIds) EXPECT_FALSE(Overlap(notice, ScreenRectOf(Item(id)))) << id;
    RECT toggle;
    GetWindowRect(Item(kWidthToggleId), &toggle);
    POINT origin{0, 0};
    ClientToScreen(main, &origin);
    EXPECT_EQ(toggle.right - origin.x, client.right - 2);
    EXPECT_EQ(dialog->wide, client.right >= kWideWindowWidth);
  }
}

TEST_F(MainWindowTest, DropLoadsFolderAndFileAndShowsProgressAndTheThreeButtons) {
  DropStudy();
  const std::u16string imported = FormatText(u"%s 文件导入", {U(single)});
  auto find = [&](const std::u16string& text) {
    for (size_t i = 0; i < statusLog->size(); ++i)
      if ((*statusLog)[i] == text) return int(i);
    return -1;
  };
  ASSERT_GE(find(imported), 0);
  ASSERT_GE(find(u"文件加载3/3"), 0);
  EXPECT_LT(find(imported), find(u"文件加载3/3"));
  EXPECT_EQ(statusLog->back(), u"文件加载完毕");
  for (int id : {kAnonymizeButtonId, kClearButtonId, kPositionColumnButtonId}) EXPECT_TRUE(Shown(id)) << id;
  for (int id : {kLoadButtonId, kTidyButtonId, kValueColumnButtonId}) EXPECT_FALSE(Shown(id)) << id;
}

TEST_F(MainWindowTest, ClicksOnFileRowsSelectCompareAndTheHexPanelOpensAndCloses) {
  DropStudy();
  const SeriesEntry* pair = PairSeries();
  ASSERT_NE(pair, nullptr);
  const DicomFile* first = pair->shownFiles[0];
  const DicomFile* second = pair->shownFiles[1];

  ClickPanel(RowPoint(*pair, 0));
  EXPECT_EQ(dialog->panel.currentSerial, first->serial);
  EXPECT_EQ(Status(), u"选中文件: " + first->path);

  ClickPanel(RowPoint(*pair, 1), 1);
  EXPECT_EQ(dialog->panel.compareSerial, second->serial);
  EXPECT_EQ(Status(), u"选中文件: " + second->path);
  EXPECT_GT(dialog->panel.alignment.length, 0);

  // A double click on the third tag row opens its bytes.
  ShowWork& panel = dialog->panel;
  POINT row{kTagAreaLeft + 30, kTagListTop + panel.tagScroll + 2 * panel.tagRowHeight + 3};
  InjectClick(Item(kPanelSurfaceId), row);
  InjectClick(Item(kPanelSurfaceId), row);
  PumpPendingMessages();
  EXPECT_EQ(panel.hexRow, 2);
  EXPECT_EQ(panel.hexShown, 1);
  // A right click on it closes it.
  const RECT hex = panel.hexRect;
  ClickPanel(POINT{(hex.left + hex.right) / 2, hex.top + 20}, 1);
  EXPECT_EQ(panel.hexShown, 0);
  EXPECT_EQ(panel.hexRow, -1);
}

TEST_F(MainWindowTest, ColumnToggleMovesTheFollowingColumns) {
  DropStudy();
  const int32_t shown = ColumnTable[kColumnPosition].visible;
  const int32_t nameX = ColumnTable[kColumnName].x;
  const int32_t step = ColumnTable[kColumnPosition].width + 8;
  ClickButton(kPositionColumnButtonId);
  EXPECT_EQ(ColumnTable[kColumnPosition].visible, shown != 0 ? 0 : 1);
  EXPECT_EQ(ColumnTable[kColumnName].x, shown != 0 ? nameX - step : nameX + step);
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no double-click
  ClickButton(kPositionColumnButtonId);
  EXPECT_EQ(ColumnTable[kColumnPosition].visible, shown);
  EXPECT_EQ(ColumnTable[kColumnName].x, nameX);
}

TEST_F(MainWindowTest, WidthToggleWidensTo1756AndNarrowsTo1024WithItsCaptions) {
  EXPECT_EQ(GetWindowTextW(Item(kWidthToggleId)), u">");
  ClickButton(kWidthToggleId);
  EXPECT_EQ(ScreenRectOf(main).right - ScreenRectOf(main).left, kWideWindowWidth);
  EXPECT_EQ(GetWindowTextW(Item(kWidthToggleId)), u"<");
  EXPECT_TRUE(dialog->wide);
  // The client area is narrower than 1756, yet the next click narrows.
  RECT client;
  GetClientRect(main, &client);
  EXPECT_LT(client.right, kWideWindowWidth);
  ClickButton(kWidthToggleId);
  EXPECT_EQ(ScreenRectOf(main).right - ScreenRectOf(main).left, kNarrowWindowWidth);
  EXPECT_EQ(GetWindowTextW(Item(kWidthToggleId)), u">");
  EXPECT_FALSE(dialog->wide);
}

TEST_F(MainWindowTest, TheWidenedWindowStaysOnTheScreen) {
  const int screen = GetSystemMetrics(SM_CXSCREEN);
  ASSERT_GT(screen, kWideWindowWidth);
  const RECT before = ScreenRectOf(main);
  // Near the right edge: widening moves the window left just enough.
  SetWindowPos(main, HWND{}, screen - (before.right - before.left) - 10, before.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ClickButton(kWidthToggleId);
  const RECT wide = ScreenRectOf(main);
  EXPECT_EQ(wide.right - wide.left, kWideWindowWidth);
  EXPECT_EQ(wide.right, screen);
  EXPECT_EQ(wide.top, before.top);
  // Narrowing again keeps that place.
  ClickButton(kWidthToggleId);
  EXPECT_EQ(ScreenRectOf(main).left, wide.left);
}

TEST_F(MainWindowTest, AnonymizeWritesTheCopiesAndReportsCompletionInStatusAndNotice) {
  // Nothing loaded: no box, no status change.
  ShowWindow(Item(kAnonymizeButtonId), SW_SHOW);
  ClickButton(kAnonymizeButtonId);
  PumpUntil([] { return false; }, 100);
  EXPECT_TRUE(answerer->seen().empty());
  EXPECT_EQ(Status(), u"输出信息");

  DropStudy();
  answerer->Then(BoxAnswerer::Press(VK_RETURN));
  ClickAndAnswer(kAnonymizeButtonId);
  ASSERT_EQ(answerer->seen().size(), 1u);
  // The fixed profile is the default; its copies keep descriptions, UIDs of
  // their own root and more, which the audit counts.
  EXPECT_EQ(answerer->seen()[0].text,
            u"脱敏完成\n脱敏方案：基本脱敏（固定方案）\n4 个副本（共 4 个）仍含可能识别个人的信息，须人工复核");
  EXPECT_TRUE(answerer->seen()[0].ok);
  EXPECT_FALSE(answerer->seen()[0].yes);
  EXPECT_EQ(Status(), u"脱敏完成");
  for (const char* name : {"study__Anony/a.dcm", "study__Anony/b.dcm", "study__Anony/IM0003", "one__Anony/single.dcm"})
    EXPECT_TRUE(fixture::FileExists(dir.Join(name))) << name;
  EXPECT_TRUE(IsWindowEnabled(main));
}

TEST_F(MainWindowTest, AnonymizeCountsFilesThatCouldNotBeWritten) {
  WriteStudy();
  // A file where the output folder of the single file should go.
  dir.Write("one__Anony", {'x'});
  InjectDrop(main, {U(folder), U(single)});
  ASSERT_TRUE(PumpUntil([&] { return !statusLog->empty() && statusLog->back() == u"文件加载完毕"; }));
  dialog->panel.Redraw();
  answerer->Then(BoxAnswerer::Press(VK_RETURN));
  ClickAndAnswer(kAnonymizeButtonId);
  ASSERT_EQ(answerer->seen().size(), 1u);
  // The notice names the file and why; the status line only counts.
  EXPECT_EQ(answerer->seen()[0].text,
            u"脱敏完成，1 个文件写入失败\nsingle.dcm：副本无法写入\n脱敏方案：基本脱敏（固定方案）\n"
            u"3 个副本（共 3 个）仍含可能识别个人的信息，须人工复核");
  EXPECT_EQ(Status(), u"脱敏完成，1 个文件写入失败");
  EXPECT_TRUE(fixture::FileExists(dir.Join("study__Anony/a.dcm")));
}

TEST_F(MainWindowTest, AFolderRunSaysHowManySubfoldersHoldingFilesItLeftOut) {
  WriteStudy();
  dir.Write("study/series1/IM1", StudyFile("ZHANG^SAN", 5));
  dir.Write("study/series2/deeper/IM2", StudyFile("ZHANG^SAN", 6));
  std::filesystem::create_directories(dir.Join("study/empty/still-empty"));
  InjectDrop(main, {U(folder)});
  ASSERT_TRUE(PumpUntil([&] { return !statusLog->empty() && statusLog->back().rfind(u"文件加载完毕", 0) == 0; }));
  EXPECT_EQ(Status(), u"文件加载完毕，2 个含文件的子文件夹未载入");
  dialog->panel.Redraw();
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 3);
}

TEST_F(MainWindowTest, TheSubfolderChoiceMakesFolderDropsTakeTheWholeTree) {
  WriteStudy();
  dir.Write("study/series1/1.2.840.113619.2.55.3.7", StudyFile("ZHANG^SAN", 5));
  dir.Write("study/series2/deeper/IM2.IMA", StudyFile("ZHANG^SAN", 6));
  HMENU menu = GetSystemMenu(main, false);
  EXPECT_EQ(CheckMenuItem(menu, 0x0040, MF_UNCHECKED), static_cast<int>(MF_UNCHECKED));  // off at first
  PostMessageW(main, WM_SYSCOMMAND, 0x0040, 0);  // 包含子文件夹
  PumpPendingMessages();
  EXPECT_TRUE(dialog->panel.collection.includeSubfolders.load());
  EXPECT_EQ(CheckMenuItem(menu, 0x0040, MF_CHECKED), static_cast<int>(MF_CHECKED));
  InjectDrop(main, {U(folder)});
  ASSERT_TRUE(PumpUntil([&] { return !statusLog->empty() && statusLog->back() == u"文件加载完毕"; }));
  dialog->panel.Redraw();
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 5);
  // Chosen again, it is off again.
  PostMessageW(main, WM_SYSCOMMAND, 0x0040, 0);
  PumpPendingMessages();
  EXPECT_FALSE(dialog->panel.collection.includeSubfolders.load());
}

TEST_F(MainWindowTest, SystemMenuChoosesTheProfileForTheProcessAndTheViewsMarkWhatIsLeft) {
  HMENU menu = GetSystemMenu(main, false);
  constexpr uintptr_t kFixed = 0x0050, kBasic = 0x0060;
  EXPECT_TRUE(IsMenuItemChecked(menu, kFixed));
  EXPECT_FALSE(IsMenuItemChecked(menu, kBasic));
  PostMessageW(main, WM_SYSCOMMAND, kBasic, 0);
  PumpPendingMessages();
  EXPECT_FALSE(IsMenuItemChecked(menu, kFixed));
  EXPECT_TRUE(IsMenuItemChecked(menu, kBasic));
  EXPECT_FALSE(dialog->panel.markResiduals);

  DropStudy();
  answerer->Then(BoxAnswerer::Press(VK_RETURN));
  ClickAndAnswer(kAnonymizeButtonId);
  ASSERT_EQ(answerer->seen().size(), 1u);
  EXPECT_EQ(answerer->seen()[0].text,
            u"脱敏完成\n脱敏方案：DICOM 基本保密规范 (PS3.15)\n0 个副本（共 4 个）仍含可能识别个人的信息，须人工复核");
  EXPECT_TRUE(dialog->panel.markResiduals);
  const std::vector<uint8_t> copy = fixture::ReadFileBytes(dir.Join("study__Anony/a.dcm"));
  const std::string text(copy.begin(), copy.end());
  EXPECT_NE(text.find("DICOM PS3.15 Basic Application Confidentiality Profile"), std::string::npos);
  EXPECT_EQ(text.find("ID-"), std::string::npos);

  // Back to the fixed profile: the choice holds for the next run.
  PostMessageW(main, WM_SYSCOMMAND, kFixed, 0);
  PumpPendingMessages();
  EXPECT_TRUE(IsMenuItemChecked(menu, kFixed));
  answerer->Then(BoxAnswerer::Press(VK_RETURN));
  ClickAndAnswer(kAnonymizeButtonId);
  ASSERT_EQ(answerer->seen().size(), 2u);
  EXPECT_NE(answerer->seen()[1].text.find(u"脱敏方案：基本脱敏（固定方案）"), std::u16string::npos);
}

TEST_F(MainWindowTest, ClearAsksFirstAndOnlyYesEmptiesTheCollection) {
  DropStudy();
  answerer->Then(BoxAnswerer::Click(IDNO));
  ClickAndAnswer(kClearButtonId);
  ASSERT_EQ(answerer->seen().size(), 1u);
  EXPECT_EQ(answerer->seen()[0].text, u"关闭所有打开的文件？");
  EXPECT_TRUE(answerer->seen()[0].yes && answerer->seen()[0].no && !answerer->seen()[0].ok);
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 4);
  EXPECT_TRUE(Shown(kClearButtonId));

  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no double-click
  answerer->Then(BoxAnswerer::Press(VK_RETURN));  // "是" has the focus
  ClickAndAnswer(kClearButtonId);
  ASSERT_EQ(answerer->seen().size(), 2u);
  EXPECT_EQ(dialog->panel.collection.patients.length, 0);
  EXPECT_EQ(Status(), u"文件列表已清空");
  for (int id : {kAnonymizeButtonId, kClearButtonId, kPositionColumnButtonId}) EXPECT_FALSE(Shown(id)) << id;
}

TEST_F(MainWindowTest, ClearWhileAFolderLoadsStopsTheLoaderFirst) {
  for (int i = 0; i < 300; ++i) dir.Write("many/f" + std::to_string(i) + ".dcm", StudyFile("MANY", i));
  InjectDrop(main, {U(dir.Join("many"))});
  PumpPendingMessages();
  answerer->Then(BoxAnswerer::Press(VK_RETURN));
  ClickAndAnswer(kClearButtonId);
  EXPECT_EQ(dialog->panel.collection.loader, nullptr);
  EXPECT_EQ(dialog->panel.collection.patients.length, 0);
  // Nothing arrives afterwards: no file, and no news of the stopped run
  // over the status line's "文件列表已清空".
  PumpUntil([] { return false; }, 200);
  dialog->panel.Redraw();
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 0);
  EXPECT_EQ(Status(), u"文件列表已清空");
  ASSERT_FALSE(statusLog->empty());
  EXPECT_EQ(statusLog->back(), u"文件列表已清空");
}

TEST_F(MainWindowTest, FolderDroppedWhileAnotherLoadsIsQueuedAndLoadedAfterIt) {
  for (int i = 0; i < 200; ++i) dir.Write("many/f" + std::to_string(i) + ".dcm", StudyFile("MANY", i));
  WriteStudy();
  InjectDrop(main, {U(dir.Join("many"))});
  PumpPendingMessages();
  ASSERT_TRUE(dialog->panel.collection.loader);
  InjectDrop(main, {U(folder)});
  int ends = 0;
  ASSERT_TRUE(PumpUntil([&] {
    ends = 0;
    for (const std::u16string& t : *statusLog) ends += t == u"文件加载完毕";
    return ends == 2;
  }));
  dialog->panel.Redraw();
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 203);
}

TEST_F(MainWindowTest, CloseAskedAndAnsweredNoKeepsWindowAndFiles) {
  DropStudy();
  answerer->Then(BoxAnswerer::Click(IDNO));
  InjectClose(main);
  ASSERT_TRUE(PumpUntil([&] { return answerer->pending() == 0 && IsWindowEnabled(main); }));
  PumpPendingMessages();
  ASSERT_EQ(answerer->seen().size(), 1u);
  EXPECT_EQ(answerer->seen()[0].text, u"退出Tesmer？");
  EXPECT_TRUE(IsWindow(main));
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(dialog->panel.collection.ShownFileCount(), 4);
  for (int c : *commandLog) EXPECT_NE(c, IDCANCEL);
}

TEST_F(MainWindowTest, EnterAndEscDoNothing) {
  DropStudy();
  const std::u16string before = Status();
  for (HWND focus : {main, Item(kAnonymizeButtonId), Item(kWidthToggleId)}) {
    SetFocus(focus);
    InjectKeyPress(VK_RETURN);
    InjectKeyPress(VK_ESCAPE);
    PumpUntil([] { return false; }, 50);
  }
  EXPECT_TRUE(commandLog->empty());
  EXPECT_TRUE(answerer->seen().empty());
  EXPECT_EQ(Status(), before);
  EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(MainWindowTest, ButtonsLightUpUnderThePointer) {
  HWND toggle = Item(kWidthToggleId);
  EXPECT_EQ(GetWindowPixel(toggle, 1, 0), RGB(3, 123, 131));
  InjectMouseMove(toggle, POINT{4, 4});
  PumpPendingMessages();
  EXPECT_EQ(GetWindowPixel(toggle, 1, 0), RGB(4, 210, 223));
  EXPECT_EQ(GetWindowPixel(toggle, 0, 0), RGB(34, 37, 43));  // the clipped corner shows the face
  InjectMouseMove(Item(kPanelSurfaceId), POINT{300, 300});
  PumpPendingMessages();
  EXPECT_EQ(GetWindowPixel(toggle, 1, 0), RGB(3, 123, 131));
}

TEST_F(MainWindowTest, WheelScrollsTheTagListWhereverThePointerIs) {
  std::string file = dir.Write("long/long.dcm", LongFile());
  InjectDrop(main, {U(file)});
  PumpPendingMessages();
  dialog->panel.Redraw();
  const SeriesEntry* series = nullptr;
  dialog->panel.collection.ForEachSeries([&](PatientEntry&, StudyEntry&, SeriesEntry& s) { series = &s; });
  ASSERT_NE(series, nullptr);
  ClickPanel(RowPoint(*series, 0));
  ShowWork& panel = dialog->panel;
  ASSERT_GT(panel.tagContentHeight, panel.tagViewHeight);
  // The turn goes to the window, which has the focus, and reaches the panel
  // at the pointer's place over the tag list.
  SetFocus(main);
  InjectWheel(Item(kPanelSurfaceId), POINT{kTagAreaLeft + 50, 60}, -1);
  PumpPendingMessages();
  EXPECT_EQ(panel.tagScroll, -kWheelStep);
  InjectWheel(Item(kPanelSurfaceId), POINT{kTagAreaLeft + 50, 60}, 1);
  PumpPendingMessages();
  EXPECT_EQ(panel.tagScroll, 0);
  // With a button focused the turn still reaches the panel.
  SetFocus(Item(kClearButtonId));
  InjectWheel(Item(kPanelSurfaceId), POINT{kTagAreaLeft + 50, 60}, -1);
  PumpPendingMessages();
  EXPECT_EQ(panel.tagScroll, -kWheelStep);
}

TEST_F(MainWindowTest, AboutBoxOpensFromTheSystemMenuCommand) {
  answerer.reset();
  HWND about;
  TimerScript closer([&] {
    for (HWND t : GetTopLevelWindows()) {
      if (IsWindowVisible(t) && GetWindowTextW(t) == u"关于 QuorilTesmer") {
        about = t;
        InjectKeyPress(VK_RETURN);  // "确定"
        return true;
      }
    }
    return false;
  });
  PostMessageW(main, WM_SYSCOMMAND, 0x0010, 0);
  ASSERT_TRUE(PumpUntil([&] { return closer.done() && IsWindowEnabled(main); }));
  PumpPendingMessages();
  EXPECT_TRUE(about);
  EXPECT_FALSE(IsWindow(about));
}

// The system menu chooses how text values are decoded; the chosen item
// carries the check mark.
TEST_F(MainWindowTest, CharacterSetChoiceInTheSystemMenu) {
  const TextDecoding saved = CurrentTextDecoding();
  HMENU menu = GetSystemMenu(main, false);
  // CheckMenuItem with the state an item should have returns its state.
  const auto checked = [&](uintptr_t id) {
    const int state = CheckMenuItem(menu, id, MF_CHECKED);
    CheckMenuItem(menu, id, static_cast<uint32_t>(state));
    return state == static_cast<int>(MF_CHECKED);
  };
  PostMessageW(main, WM_SYSCOMMAND, 0x0030, 0);  // 字符集：系统代码页
  PumpPendingMessages();
  EXPECT_EQ(CurrentTextDecoding(), TextDecoding::CodePage);
  EXPECT_TRUE(checked(0x0030));
  EXPECT_FALSE(checked(0x0020));
  PostMessageW(main, WM_SYSCOMMAND, 0x0020, 0);  // 字符集：按文件声明
  PumpPendingMessages();
  EXPECT_EQ(CurrentTextDecoding(), TextDecoding::Declared);
  EXPECT_TRUE(checked(0x0020));
  EXPECT_FALSE(checked(0x0030));
  SetTextDecoding(saved);
}

TEST_F(MainWindowTest, MouseOnlyReachesThePanelInsideItsSurface) {
  DropStudy();
  HWND surface = Item(kPanelSurfaceId);
  RECT r;
  GetClientRect(surface, &r);
  ShowWork& panel = dialog->panel;
  // Just below the surface (its height): the status line, not the panel.
  InjectMouseButton(surface, POINT{10, r.bottom}, 0, true);
  PumpPendingMessages();
  EXPECT_EQ(panel.buttonDown, 0);
  InjectMouseButton(surface, POINT{10, r.bottom}, 0, false);
  PumpPendingMessages();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no double-click
  // Its top-left corner belongs to it.
  InjectMouseButton(surface, POINT{0, 0}, 0, true);
  PumpPendingMessages();
  EXPECT_EQ(panel.buttonDown, 1);
  EXPECT_EQ(panel.pressPoint.x, 0);
  EXPECT_EQ(panel.pressPoint.y, 0);
  InjectMouseButton(surface, POINT{0, 0}, 0, false);
  PumpPendingMessages();
}

TEST_F(MainWindowTest, LoaderProgressTextsAndTheSmallestWindow) {
  struct Case {
    uintptr_t done;
    intptr_t total;
    const char16_t* text;
  } cases[] = {{3, 10, u"文件加载3/10"}, {7, -1, u"文件加载完毕"}, {0, -1, u"文件加载完毕"}};
  for (const Case& c : cases) {
    PostMessageW(main, WM_LOAD_PROGRESS, c.done, c.total);
    PumpPendingMessages();
    EXPECT_EQ(Status(), c.text);
  }
  InjectResize(main, SIZE{400, 300});
  PumpPendingMessages();
  RECT w = ScreenRectOf(main);
  EXPECT_GE(w.right - w.left, kNarrowWindowWidth);
  EXPECT_GE(w.bottom - w.top, kMinimumWindowHeight);
}

TEST_F(MainWindowTest, CloseAnsweredYesStopsTheLoaderAndEndsTheModalRun) {
  for (int i = 0; i < 300; ++i) dir.Write("many/f" + std::to_string(i) + ".dcm", StudyFile("MANY", i));
  CTesmerDlg modal;
  modal.initialPaths = {U(dir.Join("many"))};
  answerer->Then(BoxAnswerer::Press(VK_RETURN));  // "是" has the focus
  TimerScript closer([&] {
    HWND h = modal.GetSafeHwnd();
    if (!IsWindowVisible(h) || !modal.panel.collection.loader) return false;
    InjectClose(h);
    return true;
  });
  EXPECT_EQ(modal.DoModal(), IDCANCEL);
  EXPECT_TRUE(closer.done());
  ASSERT_EQ(answerer->seen().size(), 1u);
  EXPECT_EQ(answerer->seen()[0].text, u"退出Tesmer？");
  EXPECT_EQ(modal.panel.collection.loader, nullptr);
  EXPECT_FALSE(IsWindow(modal.GetSafeHwnd()));
}

}  // namespace
