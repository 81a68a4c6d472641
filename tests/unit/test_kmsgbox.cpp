// The markup message box: markup, heading, style, buttons, keyboard
// decisions, sizing and layout numbers, front ends, waits.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "os/host/host_control.h"
#include "os/host/host_ui.h"
#include "os/window.h"
#include "sys/kdebug.h"
#include "ui/kmsgbox.h"

namespace {

using kv::BoxKeyAction;

class MsgBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetUi();
    kv::ResetMsgBoxState();
  }
  void TearDown() override {
    os::host::ResetUi();
    kv::ResetMsgBoxState();
  }
};

std::vector<std::pair<int, int>> Spans(const kv::RenderedMarkup& r) {
  std::vector<std::pair<int, int>> out;
  for (const os::BoxSpan& s : r.bold) out.emplace_back(s.start, s.end);
  return out;
}

using SpanList = std::vector<std::pair<int, int>>;

TEST(MsgBoxMarkup, RendersBreaksTabsAndBold) {
  struct Case {
    std::string in, text;
    SpanList bold;
  };
  const Case cases[] = {
      {"one<P>two", "one\r\ntwo", {}},
      {"one<p>two", "one\r\ntwo", {}},
      {"a<t>b", "a\tb", {}},
      {"a\\\\nb", "a\r\nb", {}},       // backslash, backslash, n
      {"a\\nb", "a\\nb", {}},          // a single backslash does not break
      {"a\\\\tb", "a\tb", {}},
      {"a\\\\Nb", "a\\\\Nb", {}},      // the backslash forms are case-sensitive
      {"x <b>bold</b> y", "x bold y", {{2, 6}}},
      {"x <B>bold</b> y", "x bold y", {{2, 6}}},
      {"<b>no end", "no end", {}},
      {"end</B> alone", "end alone", {}},
      {"</b>a<b>b</b>", "ab", {}},     // an end tag before the first start: no bold at all
      {"<b>a</b>-<b>b</b>", "a-b", {{0, 1}, {2, 3}}},
      {"<b>a</b><b>b", "ab", {{0, 1}}},
      {"<<b>Head</b> x", "Head x", {{0, 4}}},
      {"<<B>x", "<x", {}},             // only "<<b>" loses its first character
      {"<P><b>x</b>", "\r\nx", {{2, 3}}},  // spans count CR LF as two characters
      {"x<</b>/b>y", "xy", {}},        // end tags that close up are removed too
      {"<X> and <DRIVE>", "<X> and <DRIVE>", {}},
      {"", "", {}},
  };
  for (const Case& c : cases) {
    kv::RenderedMarkup r = kv::RenderMarkup(c.in);
    EXPECT_EQ(r.text, c.text) << c.in;
    EXPECT_EQ(Spans(r), c.bold) << c.in;
  }
}

TEST(MsgBoxMarkup, NestedBoldStaysInsideTheText) {
  // Spans do not nest: the first start tag pairs with the first end tag, the
  // inner start tag with the second. The outer span was recorded before the
  // inner tags were deleted and is clipped to the text.
  kv::RenderedMarkup r = kv::RenderMarkup("<b>a<b>b</b>c</b>");
  EXPECT_EQ(r.text, "abc");
  EXPECT_EQ(Spans(r), (SpanList{{0, 3}, {1, 3}}));
}

TEST(MsgBoxMarkup, StaysLinearOnManyTagsAndCutsHugeTexts) {
  std::string many;
  for (int i = 0; i < 8000; ++i) many += "<b>x</b>";
  kv::RenderedMarkup r = kv::RenderMarkup(many);
  ASSERT_EQ(r.text, std::string(8000, 'x'));
  ASSERT_EQ(r.bold.size(), 8000u);
  EXPECT_EQ(r.bold[7999].start, 7999);
  EXPECT_EQ(r.bold[7999].end, 8000);

  std::string opens;
  for (int i = 0; i < 30000; ++i) opens += "<b>";
  EXPECT_EQ(kv::RenderMarkup(opens + "x").text.size(), 1u);  // cut inside the last tag: "<"

  EXPECT_EQ(kv::RenderMarkup(std::string(kv::kMaxBoxTextBytes + 10, 'a')).text.size(),
            kv::kMaxBoxTextBytes);
}

TEST(MsgBoxMarkup, ExpandMarkupBreaksLeavesBoldTags) {
  EXPECT_EQ(kv::ExpandMarkupBreaks("<b>a</b><P>b<T>c\\\\n"), "<b>a</b>\r\nb\tc\r\n");
}

TEST(MsgBoxHeading, UpperCasesOnlyTheStockCaptions) {
  struct Case {
    const char* caption;
    const char* heading;
  };
  const Case cases[] = {
      {"Error", "ERROR"},     {"Attention", "ATTENTION"}, {"Confirm", "CONFIRM"},
      {"Hata", "Hata"},       {"error", "error"},  // exact case only
      {"Err", "ERR"},         // any part of the stock list counts
  };
  for (const Case& c : cases) {
    kv::RenderedMarkup r = kv::RenderMarkup(kv::ApplyHeading("Disk full", c.caption));
    const std::string h = c.heading;
    EXPECT_EQ(r.text, h + "\r\n\r\nDisk full\r\n") << c.caption;
    EXPECT_EQ(Spans(r), (SpanList{{0, static_cast<int>(h.size())}})) << c.caption;
  }
}

TEST(MsgBoxStyle, ModeTwoAndRightToLeftCharsets) {
  struct Case {
    int mode, charset;
    std::uint32_t style, want;
  };
  const Case cases[] = {
      {0, 1, 0x24, 0x24},
      {1, 0, 0x24, 0x24},
      {2, 1, 0x24, 0x10000024},
      {1, 177, 0x10, 0x00180010},
      {2, 178, 0x10, 0x10180010},
      {1, 179, 0x10, 0x10},
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::AdjustBoxStyle(c.mode, c.charset, c.style), c.want)
        << c.mode << "/" << c.charset;
}

TEST(MsgBoxButtons, SetsCaptionsAndResultCodes) {
  struct Case {
    std::uint32_t style;
    std::vector<std::string> captions;
    std::vector<int> results;
  };
  const Case cases[] = {
      {0, {"&OK"}, {1}},
      {1, {"&OK", "&Cancel"}, {1, 2}},
      {2, {"&Abort", "&Retry", "&Ignore"}, {3, 4, 5}},
      {3, {"&Yes", "&No", "&Cancel"}, {6, 7, 2}},
      {4, {"&Yes", "&No"}, {6, 7}},
      {5, {"&Retry", "&Cancel"}, {4, 2}},
      {6, {}, {}},
      {0x2F, {}, {}},
      {0x124, {"&Yes", "&No"}, {6, 7}},  // icon and default bits do not change the set
  };
  for (const Case& c : cases) {
    std::vector<std::string> captions;
    std::vector<int> results;
    for (const os::BoxButton& b : kv::BoxButtons(c.style, kv::kDefaultButtonList)) {
      captions.push_back(b.caption);
      results.push_back(b.result);
    }
    EXPECT_EQ(captions, c.captions) << c.style;
    EXPECT_EQ(results, c.results) << c.style;
  }
  // A translated list with missing fields gives empty captions.
  std::vector<os::BoxButton> b = kv::BoxButtons(3, "/Tamam/Iptal/&Evet/");
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0].caption, "&Evet");
  EXPECT_EQ(b[1].caption, "");
  EXPECT_EQ(b[2].caption, "Iptal");
}

TEST(MsgBoxButtons, DefaultButtonIsTakenModuloTheCount) {
  EXPECT_EQ(kv::DefaultButtonIndex(0x24, 2), 0);
  EXPECT_EQ(kv::DefaultButtonIndex(0x124, 2), 1);
  EXPECT_EQ(kv::DefaultButtonIndex(0x224, 2), 0);
  EXPECT_EQ(kv::DefaultButtonIndex(0x523, 3), 2);
  EXPECT_EQ(kv::DefaultButtonIndex(0xF00, 1), 0);
  EXPECT_EQ(kv::DefaultButtonIndex(0x106, 0), -1);  // no button, no default
}

TEST(MsgBoxButtons, IconFromStyle) {
  EXPECT_EQ(kv::BoxIconId(0x10), 32513);
  EXPECT_EQ(kv::BoxIconId(0x24), 32514);
  EXPECT_EQ(kv::BoxIconId(0x30), 32515);
  EXPECT_EQ(kv::BoxIconId(0x41), 32516);
  EXPECT_EQ(kv::BoxIconId(0x00), 0);
  EXPECT_EQ(kv::BoxIconId(0x50), 0);
}

TEST(MsgBoxKeys, DecisionsForTheBoxKeys) {
  const std::vector<std::string> ync = {"&Yes", "&No", "&Cancel"};
  struct Case {
    const char* what;
    std::uint32_t msg;
    std::uintptr_t key;
    int current, focused;
    BoxKeyAction action;
    int button;
    bool consumed;
  };
  const Case cases[] = {
      {"Alt+y", kv::kWmSysChar, 'y', 0, 0, BoxKeyAction::Press, 0, true},
      {"Alt+Y", kv::kWmSysChar, 'Y', 0, 0, BoxKeyAction::Press, 0, true},
      {"Alt+n", kv::kWmSysChar, 'n', 0, 0, BoxKeyAction::Press, 1, true},
      {"Alt+x", kv::kWmSysChar, 'x', 0, 0, BoxKeyAction::None, -1, false},
      {"Alt+F4 key", kv::kWmSysKeyDown, 0x73, 0, 0, BoxKeyAction::None, -1, false},
      {"N", kv::kWmKeyDown, 'N', 0, 0, BoxKeyAction::Press, 1, true},
      {"C", kv::kWmKeyDown, 'C', 0, 0, BoxKeyAction::Press, 2, true},
      {"Z", kv::kWmKeyDown, 'Z', 0, 0, BoxKeyAction::None, -1, false},
      {"key up", kv::kWmKeyUp, 'Y', 0, 0, BoxKeyAction::None, -1, false},
      {"char", kv::kWmChar, 'y', 0, 0, BoxKeyAction::None, -1, false},
      {"Left wraps", kv::kWmKeyDown, kv::kVkLeft, 0, 0, BoxKeyAction::Focus, 2, true},
      {"Up", kv::kWmKeyDown, kv::kVkUp, 2, 2, BoxKeyAction::Focus, 1, true},
      {"Right", kv::kWmKeyDown, kv::kVkRight, 0, 0, BoxKeyAction::Focus, 1, true},
      {"Down", kv::kWmKeyDown, kv::kVkDown, 1, 1, BoxKeyAction::Focus, 2, true},
      {"Tab wraps", kv::kWmKeyDown, kv::kVkTab, 2, 2, BoxKeyAction::Focus, 0, true},
      {"Enter on button", kv::kWmKeyDown, kv::kVkReturn, 0, 1, BoxKeyAction::Press, 1, true},
      {"Enter elsewhere", kv::kWmKeyDown, kv::kVkReturn, 0, -1, BoxKeyAction::None, -1, false},
      {"Esc", kv::kWmKeyDown, kv::kVkEscape, 0, 0, BoxKeyAction::Close, -1, false},
  };
  for (const Case& c : cases) {
    kv::BoxKeyDecision d = kv::DecideBoxKey(c.msg, c.key, ync, c.current, c.focused);
    EXPECT_EQ(d.action, c.action) << c.what;
    EXPECT_EQ(d.button, c.button) << c.what;
    EXPECT_EQ(d.consumed, c.consumed) << c.what;
  }
}

TEST(MsgBoxKeys, AltTakesTheLeftmostAndALetterTheRightmost) {
  // Alt compares the caption's second character; the plain letter looks
  // after the first "&", or at the first character when there is none.
  const std::vector<std::string> two = {"&Retry", "&Restart"};
  EXPECT_EQ(kv::FindAltKeyButton('r', two), 0);
  EXPECT_EQ(kv::FindLetterButton('R', two), 1);

  const std::vector<std::string> plain = {"Yes", "No"};
  EXPECT_EQ(kv::FindLetterButton('Y', plain), 0);
  EXPECT_EQ(kv::FindLetterButton('n', plain), 1);
  EXPECT_EQ(kv::FindAltKeyButton('Y', plain), -1);  // second character is "e"
  EXPECT_EQ(kv::FindAltKeyButton('e', plain), 0);

  const std::vector<std::string> inner = {"Re&try", "&", ""};
  EXPECT_EQ(kv::FindLetterButton('T', inner), 0);
  EXPECT_EQ(kv::FindLetterButton('R', inner), -1);
  EXPECT_EQ(kv::FindAltKeyButton('e', inner), 0);

  // No buttons: arrows and letters are left alone.
  EXPECT_EQ(kv::DecideBoxKey(kv::kWmKeyDown, kv::kVkTab, {}, -1, -1).action, BoxKeyAction::None);
  EXPECT_EQ(kv::DecideBoxKey(kv::kWmKeyDown, 'Y', {}, -1, -1).action, BoxKeyAction::None);
}

TEST(MsgBoxSizing, MeasuresLinesAndWraps) {
  auto sixPerChar = [](const std::string& s) { return static_cast<int>(s.size()) * 6; };
  struct Case {
    std::string text;
    kv::PixelSize want;
  };
  const Case cases[] = {
      {"", {16, 13}},                     // measured as one blank
      {"Hello", {40, 13}},
      {"a\r\nbb\r\n", {22, 26}},          // an empty last piece does not count
      {"a\r\n\r\nb", {16, 39}},           // an empty line in between does
      {std::string(150, 'w'), {600, 26}}, // 900 px wraps into two lines, width capped
      {std::string(100, 'w'), {600, 26}}, // exactly 600 px already counts two
      {std::string(99, 'w') + "\r\n" + std::string(250, 'w'), {600, 13 + 39}},
  };
  for (const Case& c : cases) {
    kv::PixelSize s = kv::MeasureBoxText(c.text, 13, sixPerChar);
    EXPECT_EQ(s.width, c.want.width) << c.text.size();
    EXPECT_EQ(s.height, c.want.height) << c.text.size();
  }
  EXPECT_EQ(kv::BoxLineHeight(13, 0, "Tahoma"), 13);
  EXPECT_EQ(kv::BoxLineHeight(13, 1, " ms pgothic "), 15);
}

TEST(MsgBoxSizing, WidensForBoldUntilTheHeightFits) {
  const kv::PixelSize measured{100, 26};
  std::vector<int> tried;
  // The control wraps bold text into more lines until it is 130 wide.
  int w = kv::WidenForBold(measured, [&](int width) {
    tried.push_back(width);
    return kv::PixelSize{width, width >= 130 ? 26 : 39};
  });
  EXPECT_EQ(w, 130);
  EXPECT_EQ(tried, (std::vector<int>{100, 110, 120, 130}));

  // Never fits: 21 tries, then the widest requested width + 10.
  tried.clear();
  w = kv::WidenForBold(measured, [&](int width) {
    tried.push_back(width);
    return kv::PixelSize{width + 5, 39};
  });
  EXPECT_EQ(tried.size(), 21u);
  EXPECT_EQ(w, 300 + 5 + 10);

  // Requests narrower than the measurement keep the measured width.
  w = kv::WidenForBold(measured, [](int) { return kv::PixelSize{20, 39}; });
  EXPECT_EQ(w, 110);
}

TEST(MsgBoxLayout, WindowAndClientNumbers) {
  // A one-word text: the minimum width with 64-pixel margins.
  kv::PixelSize small = kv::BoxWindowSize({50, 13}, 4, 4, 19);
  EXPECT_EQ(small.width, 360);                       // 50 + 54 + 128 + 8 = 240 → 360
  EXPECT_EQ(small.height, 13 + 36 + 90 + 8 + 19);   // 45-pixel vertical margins
  EXPECT_EQ(kv::BoxTextPlacement(352, 139, {50, 13}), (kv::PixelRect{178, 45, 50, 55}));

  kv::PixelSize large = kv::BoxWindowSize({610, 130}, 4, 4, 19);
  EXPECT_EQ(large.width, 610 + 54 + 64 + 8);
  EXPECT_EQ(large.height, 130 + 36 + 64 + 8 + 19);
  EXPECT_EQ(kv::BoxTextPlacement(728, 230, {610, 130}), (kv::PixelRect{86, 32, 610, 159}));

  // Margin thresholds.
  EXPECT_EQ(kv::BoxWindowSize({199, 13}, 0, 0, 0).width, 199 + 54 + 128);
  EXPECT_EQ(kv::BoxWindowSize({200, 13}, 0, 0, 0).width, 360);
  EXPECT_EQ(kv::BoxWindowSize({300, 38}, 0, 0, 0).height, 38 + 36 + 90);
  EXPECT_EQ(kv::BoxWindowSize({300, 39}, 0, 0, 0).height, 39 + 36 + 64);
  EXPECT_EQ(kv::BoxWindowSize({300, 39}, 0, 0, 0).width, 300 + 54 + 64);

  // Buttons: rightmost at W - 80, each further one 70 to the left.
  std::vector<kv::PixelRect> b = kv::BoxButtonRects(352, 139, 3);
  ASSERT_EQ(b.size(), 3u);
  EXPECT_EQ(b[0], (kv::PixelRect{132, 110, 70, 23}));
  EXPECT_EQ(b[1], (kv::PixelRect{202, 110, 70, 23}));
  EXPECT_EQ(b[2], (kv::PixelRect{272, 110, 70, 23}));
  EXPECT_TRUE(kv::BoxButtonRects(352, 139, 0).empty());
}

TEST_F(MsgBoxTest, ScreenHelpers) {
  EXPECT_EQ(kv::MulDivRound(3, 12, 8), 5);    // 4.5 rounds away from zero
  EXPECT_EQ(kv::MulDivRound(-3, 12, 8), -5);
  EXPECT_EQ(kv::MulDivRound(8, 96, 72), 11);  // 10.67
  EXPECT_EQ(kv::MulDivRound(1, 1, 0), -1);

  os::host::SetScreenDpiY(120);
  EXPECT_EQ(kv::PointsToPixels(8), 13);
  os::host::SetScreenDpiY(96);
  EXPECT_EQ(kv::PointsToPixels(9), 15);  // still 120: the screen is read once
  kv::ResetMsgBoxState();
  EXPECT_EQ(kv::PointsToPixels(9), 12);

  os::host::SetWorkArea({100, 50, 1124, 788});
  kv::ScreenPoint p = kv::CenterInWorkArea(360, 166);
  EXPECT_EQ(p.x, 100 + 332);
  EXPECT_EQ(p.y, 50 + 286);
  p = kv::CenterInWorkArea(1101, 739);  // larger than the area: toward zero
  EXPECT_EQ(p.x, 100 - 38);
  EXPECT_EQ(p.y, 50 + 0);
}

TEST_F(MsgBoxTest, FrontEndsFillDefaultsAndReadTheAnswer) {
  struct Case {
    const char* what;
    std::function<bool()> call;  // returns the front end's answer (true for the boxes without)
    int answer;
    bool want;
    const char* caption;
    std::uint32_t style;
    std::vector<std::string> buttons;
    std::uint32_t timeout;
  };
  const std::vector<std::string> yesNo = {"&Yes", "&No"};
  const std::vector<std::string> okCancel = {"&OK", "&Cancel"};
  const Case cases[] = {
      {"error", [] { kv::ShowErrorBox(1, "t", "", "", 1); return true; }, 1, true, "Error", 0x10,
       {"&OK"}, 0},
      {"attention", [] { kv::ShowAttentionBox(1, "t", "", "", 1, 5000); return true; }, 1, true,
       "Attention", 0x30, {"&OK"}, 5000},
      {"yes", [] { return kv::AskYesNo(1, "t", "", "", 1, 0); }, 6, true, "Confirm", 0x24, yesNo,
       0},
      {"no", [] { return kv::AskYesNo(1, "t", "", "", 1, 0); }, 7, false, "Confirm", 0x24, yesNo,
       0},
      {"yes/no Esc", [] { return kv::AskYesNo(1, "t", "", "", 1, 0); }, 0, false, "Confirm", 0x24,
       yesNo, 0},
      {"ok", [] { return kv::AskOkCancel(1, "t", "", "", 1); }, 1, true, "Confirm", 0x21,
       okCancel, 0},
      {"cancel", [] { return kv::AskOkCancel(1, "t", "", "", 1); }, 2, false, "Confirm", 0x21,
       okCancel, 0},
      {"ok/cancel closed", [] { return kv::AskOkCancel(1, "t", "", "", 1); }, 0, false, "Confirm",
       0x21, okCancel, 0},
      {"given texts", [] { return kv::AskYesNo(1, "t", "Soru", "|Tamam|Iptal|&Evet|&Hayir|", 1, 0); },
       6, true, "Soru", 0x24, {"&Evet", "&Hayir"}, 0},
  };
  for (const Case& c : cases) {
    os::host::ResetUi();
    os::host::QueueBoxAnswer(c.answer);
    EXPECT_EQ(c.call(), c.want) << c.what;
    ASSERT_EQ(os::host::ShownBoxes().size(), 1u) << c.what;
    const os::BoxRequest& box = os::host::ShownBoxes()[0];
    EXPECT_EQ(box.caption, c.caption) << c.what;
    EXPECT_EQ(box.style, c.style) << c.what;
    EXPECT_EQ(os::host::BoxCaptions(box), c.buttons) << c.what;
    EXPECT_EQ(box.timeoutMs, c.timeout) << c.what;
    EXPECT_EQ(box.plainText, "t") << c.what;
  }
}

TEST_F(MsgBoxTest, ShowMessageBoxPreparesTheWholeBox) {
  kv::SetMessageBoxFont("Arial", 10, 162);
  kv::SetMessageBoxFont("Tahoma", 0, 178);  // size 0 keeps 10
  os::host::QueueBoxAnswerByCaption("no");
  const std::int64_t before = kv::GetMilliseconds();
  int result = kv::ShowMessageBox(0, "Insert <b>disk 2</b>", "Error", kv::kDefaultButtonList, 178,
                                  0x124, 0);
  EXPECT_EQ(result, kv::kMbResultNo);
  EXPECT_GE(kv::GetMilliseconds() - before, 100);  // the box is followed by a 100 ms wait
  EXPECT_GE(os::host::PumpCount(), 1);

  ASSERT_EQ(os::host::ShownBoxes().size(), 1u);
  const os::BoxRequest& box = os::host::ShownBoxes()[0];
  EXPECT_EQ(box.plainText, "ERROR\r\n\r\nInsert disk 2\r\n");
  ASSERT_EQ(box.boldSpans.size(), 2u);
  EXPECT_EQ(box.boldSpans[1].start, 16);
  EXPECT_EQ(box.boldSpans[1].end, 22);
  EXPECT_EQ(box.style, 0x00180124u);
  EXPECT_EQ(box.defaultButton, 1);
  EXPECT_EQ(box.fontFace, "Tahoma");
  EXPECT_EQ(box.fontPoints, 10);
  EXPECT_EQ(box.fontCharset, 178);

  // Mode 2: not closable, and no heading.
  kv::ShowMessageBox(2, "x", "Error", kv::kDefaultButtonList, 1, 0x10, -5);
  const os::BoxRequest& second = os::host::ShownBoxes()[1];
  EXPECT_EQ(second.plainText, "x");
  EXPECT_EQ(second.style, 0x10000010u);
  EXPECT_EQ(second.timeoutMs, 0u);
  EXPECT_EQ(second.defaultButton, 0);
}

TEST_F(MsgBoxTest, WaitsPumpAtLeastOnceAndSwallowHandlerErrors) {
  kv::WaitWithMessages(0, 0);
  EXPECT_EQ(os::host::PumpCount(), 1);

  os::host::ResetUi();
  const std::int64_t start = kv::GetMilliseconds();
  kv::WaitWithMessages(0, 60);  // step 6
  EXPECT_GE(kv::GetMilliseconds() - start, 60);
  EXPECT_GE(os::host::PumpCount(), 2);

  os::host::ResetUi();
  kv::WaitWithMessages(-3, -10);  // nonsense arguments still pump once
  EXPECT_EQ(os::host::PumpCount(), 1);

  int calls = 0;
  os::host::SetPumpHook([&] {
    ++calls;
    throw std::runtime_error("handler failed");
  });
  EXPECT_NO_THROW(kv::PumpMessages(0));
  EXPECT_NO_THROW(kv::WaitWithMessages(1, 5));
  EXPECT_GE(calls, 2);
}

TEST_F(MsgBoxTest, AutoPlaySuppressionRemembersTheRegisteredMessage) {
  EXPECT_EQ(kv::AutoPlayMessage(), 0u);
  kv::SetAutoPlaySuppression(true);
  EXPECT_NE(kv::AutoPlayMessage(), 0u);
  EXPECT_EQ(kv::AutoPlayMessage(), os::RegisterMessage("QueryCancelAutoPlay"));
  kv::SetAutoPlaySuppression(false);
  EXPECT_EQ(kv::AutoPlayMessage(), 0u);
}

}  // namespace
