// The portable half of the markup message box (see kmsgbox.h).
#include "ui/kmsgbox.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "os/clock.h"
#include "os/window.h"
#include "package/ksub.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

namespace kv {

const char* const kMsgBoxClassName = "KMsgBox";
const char* const kDefaultButtonList = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char* const kDefaultBoxCaptions = "|Error|Attention|Confirm|";

MsgBoxState& msgBoxState() {
  static MsgBoxState s;
  return s;
}

void ResetMsgBoxState() { msgBoxState() = MsgBoxState(); }

void SetMessageBoxFont(const std::string& face, int points, int charset) {
  MessageBoxSettings& s = msgBoxState().settings;
  s.fontFace = face;
  if (points != 0) s.fontPoints = points;
  s.charset = charset;
}

// ---- markup

namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// `pattern` is upper case; compares ignoring ASCII case.
bool MatchAt(const std::string& text, std::size_t at, const char* pattern, std::size_t len) {
  if (at > text.size() || text.size() - at < len) return false;
  for (std::size_t i = 0; i < len; ++i)
    if (UpperChar(text[at + i]) != pattern[i]) return false;
  return true;
}

std::size_t FindNoCase(const std::string& text, const char* pattern, std::size_t len,
                       std::size_t from) {
  if (text.size() < len) return std::string::npos;
  for (std::size_t i = from; i + len <= text.size(); ++i)
    if (MatchAt(text, i, pattern, len)) return i;
  return std::string::npos;
}

// Replaces every occurrence, left to right; inserted text is never matched again.
std::string ReplaceAll(const std::string& text, const char* pattern, std::size_t len,
                       const std::string& with, bool ignoreCase) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    bool hit = ignoreCase ? MatchAt(text, i, pattern, len) : text.compare(i, len, pattern) == 0;
    if (hit) {
      out += with;
      i += len;
    } else {
      out += text[i++];
    }
  }
  return out;
}

// Removes "</B>" until none is left: pieces that close up around a removed
// tag and form a new one go as well.
std::string RemoveEndTags(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (out.size() >= 4 && MatchAt(out, out.size() - 4, "</B>", 4)) out.resize(out.size() - 4);
  }
  return out;
}

}  // namespace

std::string ExpandMarkupBreaks(const std::string& text) {
  std::string t = ReplaceAll(text, "\\\\n", 3, "\r\n", false);
  t = ReplaceAll(t, "\\\\t", 3, "\t", false);
  t = ReplaceAll(t, "<P>", 3, "\r\n", true);
  return ReplaceAll(t, "<T>", 3, "\t", true);
}

RenderedMarkup RenderMarkup(const std::string& markup) {
  const std::size_t npos = std::string::npos;
  std::string t = ExpandMarkupBreaks(markup.size() > kMaxBoxTextBytes
                                         ? markup.substr(0, kMaxBoxTextBytes)
                                         : markup);
  if (t.compare(0, 4, "<<b>") == 0) t.erase(0, 1);

  RenderedMarkup r;
  // Each round deletes the first "<B>" and pairs it with the first "</B>" of
  // the whole text when that one lies behind it. Text before the deleted tag
  // never changes again, so the next search may start just before it; the
  // first end tag is tracked instead of searched for from the start.
  std::size_t from = 0;
  std::size_t firstEnd = FindNoCase(t, "</B>", 4, 0);
  for (;;) {
    std::size_t p = FindNoCase(t, "<B>", 3, from);
    if (p == npos) break;
    t.erase(p, 3);
    from = p >= 2 ? p - 2 : 0;
    if (firstEnd != npos && firstEnd > p) firstEnd -= 3;
    // The two sides of the deleted tag may have closed up into an end tag.
    for (std::size_t s = p >= 3 ? p - 3 : 0; s < p && s < firstEnd; ++s)
      if (MatchAt(t, s, "</B>", 4)) {
        firstEnd = s;
        break;
      }
    if (firstEnd == npos || firstEnd <= p) continue;
    t.erase(firstEnd, 4);
    r.bold.push_back(os::BoxSpan{static_cast<int>(p), static_cast<int>(firstEnd)});
    firstEnd = FindNoCase(t, "</B>", 4, firstEnd >= 3 ? firstEnd - 3 : 0);
  }
  r.text = RemoveEndTags(t);

  // A span recorded before a later tag inside it was deleted can reach past
  // the text; keep every span inside it.
  const int size = static_cast<int>(r.text.size());
  for (os::BoxSpan& s : r.bold) {
    s.start = std::min(s.start, size);
    s.end = std::min(s.end, size);
  }
  return r;
}

std::string ApplyHeading(const std::string& text, const std::string& caption) {
  std::string heading = caption;
  if (std::string(kDefaultBoxCaptions).find(caption) != std::string::npos)
    heading = UpperAscii(caption);
  return "<<b>" + heading + "</b><P><P>" + text + "<P>";
}

std::uint32_t AdjustBoxStyle(int mode, int charset, std::uint32_t style) {
  if (mode == 2) style |= kMbNoClose;
  if (charset == 177 || charset == 178) style |= kMbRightAlign | kMbRtlReading;
  return style;
}

// ---- buttons and icon

std::vector<ButtonSlot> ButtonSet(std::uint32_t style) {
  switch (style & kMbButtonSetMask) {
    case 0: return {{0, kMbResultOk}};
    case 1: return {{0, kMbResultOk}, {1, kMbResultCancel}};
    case 2: return {{4, kMbResultAbort}, {5, kMbResultRetry}, {6, kMbResultIgnore}};
    case 3: return {{2, kMbResultYes}, {3, kMbResultNo}, {1, kMbResultCancel}};
    case 4: return {{2, kMbResultYes}, {3, kMbResultNo}};
    case 5: return {{5, kMbResultRetry}, {1, kMbResultCancel}};
    default: return {};
  }
}

std::vector<os::BoxButton> BoxButtons(std::uint32_t style, const std::string& buttonList) {
  std::vector<os::BoxButton> out;
  for (const ButtonSlot& slot : ButtonSet(style))
    out.push_back(os::BoxButton{SUB::GetField(buttonList, slot.listPos, ""), slot.result});
  return out;
}

int DefaultButtonIndex(std::uint32_t style, int buttonCount) {
  if (buttonCount <= 0) return -1;
  return static_cast<int>((style >> 8) & 0x0F) % buttonCount;
}

int BoxIconId(std::uint32_t style) {
  switch (style & kMbIconMask) {
    case 0x10: return 32513;  // stop
    case 0x20: return 32514;  // question
    case 0x30: return 32515;  // exclamation
    case 0x40: return 32516;  // information
    default: return 0;
  }
}

os::BoxRequest PrepareBox(int mode, const std::string& text, const std::string& caption,
                          const std::string& buttonList, int charset, std::uint32_t style,
                          std::int64_t timeoutMs) {
  os::BoxRequest req;
  req.caption = caption;
  req.markup = mode == 0 ? ApplyHeading(text, caption) : text;
  req.style = AdjustBoxStyle(mode, charset, style);
  RenderedMarkup rendered = RenderMarkup(req.markup);
  req.plainText = std::move(rendered.text);
  req.boldSpans = std::move(rendered.bold);
  req.buttons = BoxButtons(req.style, buttonList);
  req.defaultButton = DefaultButtonIndex(req.style, static_cast<int>(req.buttons.size()));
  req.timeoutMs = timeoutMs <= 0 ? 0
                                 : static_cast<std::uint32_t>(std::min<std::int64_t>(
                                       timeoutMs, std::numeric_limits<std::int32_t>::max()));
  req.charset = charset;
  const MessageBoxSettings& s = msgBoxState().settings;
  req.fontFace = s.fontFace;
  req.fontPoints = s.fontPoints;
  req.fontCharset = s.charset;
  return req;
}

// ---- keyboard decisions

int FindAltKeyButton(char typed, const std::vector<std::string>& captions) {
  const char upper = UpperChar(typed);
  for (std::size_t i = 0; i < captions.size(); ++i) {
    const std::string& c = captions[i];
    if (c.size() >= 2 && (c[1] == typed || c[1] == upper)) return static_cast<int>(i);
  }
  return -1;
}

int FindLetterButton(char letter, const std::vector<std::string>& captions) {
  const char upper = UpperChar(letter);
  for (std::size_t i = captions.size(); i-- > 0;) {
    const std::string& c = captions[i];
    std::size_t amp = c.find('&');
    char key = 0;
    if (amp == std::string::npos) {
      if (!c.empty()) key = c[0];
    } else if (amp + 1 < c.size()) {
      key = c[amp + 1];
    }
    if (key != 0 && UpperChar(key) == upper) return static_cast<int>(i);
  }
  return -1;
}

BoxKeyDecision DecideBoxKey(std::uint32_t message, std::uintptr_t wParam,
                            const std::vector<std::string>& captions, int current, int focused) {
  BoxKeyDecision d;
  const int count = static_cast<int>(captions.size());
  if (message == kWmSysChar) {
    int b = FindAltKeyButton(static_cast<char>(wParam & 0xFF), captions);
    if (b >= 0) d = {BoxKeyAction::Press, b, true};
    return d;
  }
  if (message != kWmKeyDown) return d;
  if (current < 0 || current >= count) current = 0;
  switch (wParam) {
    case kVkLeft:
    case kVkUp:
      if (count > 0) d = {BoxKeyAction::Focus, (current + count - 1) % count, true};
      return d;
    case kVkTab:
    case kVkRight:
    case kVkDown:
      if (count > 0) d = {BoxKeyAction::Focus, (current + 1) % count, true};
      return d;
    case kVkReturn:
      if (focused >= 0 && focused < count) d = {BoxKeyAction::Press, focused, true};
      return d;
    case kVkEscape:
      // Closes the box, and the key still goes on to the focused control.
      d = {BoxKeyAction::Close, -1, false};
      return d;
    default:
      break;
  }
  if (wParam >= 'A' && wParam <= 'Z') {
    int b = FindLetterButton(static_cast<char>(wParam), captions);
    if (b >= 0) d = {BoxKeyAction::Press, b, true};
  }
  return d;
}

// ---- sizing and layout

int BoxLineHeight(int fontHeight, int externalLeading, const std::string& face) {
  return fontHeight + externalLeading + (SameTextTrim(face, "MS PGothic") ? 1 : 0);
}

PixelSize MeasureBoxText(const std::string& plainText, int lineHeight,
                         const std::function<int(const std::string&)>& lineWidth) {
  const std::string text = plainText.empty() ? std::string(" ") : plainText;
  PixelSize size;
  std::size_t start = 0;
  for (;;) {
    std::size_t brk = text.find("\r\n", start);
    std::string line = text.substr(start, brk == std::string::npos ? std::string::npos
                                                                   : brk - start);
    bool last = brk == std::string::npos;
    if (!(last && line.empty())) {
      int w = std::max(0, lineWidth(line));
      size.width = std::max(size.width, w + 10);
      size.height += (w / kBoxWrapWidth + 1) * lineHeight;
    }
    if (last) break;
    start = brk + 2;
  }
  size.width = std::min(size.width, kBoxWrapWidth);
  return size;
}

int WidenForBold(const PixelSize& measured,
                 const std::function<PixelSize(int width)>& tryWidth) {
  int widest = measured.width;
  for (int i = 0; i <= 20; ++i) {
    const int width = measured.width + 10 * i;
    PixelSize asked = tryWidth(width);
    if (asked.height <= measured.height) return width;
    widest = std::max(widest, asked.width);
  }
  return widest + 10;
}

PixelSize BoxWindowSize(const PixelSize& control, int sizeFrameX, int sizeFrameY,
                        int captionHeight) {
  const int marginX = control.width < 200 ? 64 : 32;
  const int marginY = control.height < 39 ? 45 : 32;
  PixelSize s;
  s.width = std::max(360, control.width + 54 + 2 * marginX + 2 * sizeFrameX);
  s.height = control.height + 36 + 2 * marginY + 2 * sizeFrameY + captionHeight;
  return s;
}

PixelRect BoxTextPlacement(int clientWidth, int clientHeight, const PixelSize& control) {
  PixelRect r;
  r.x = 54 + (clientWidth - 54 - control.width) / 2;
  r.y = (clientHeight - 36 - control.height) / 2;
  r.width = control.width;
  r.height = clientHeight - r.y - 39;
  return r;
}

std::vector<PixelRect> BoxButtonRects(int clientWidth, int clientHeight, int count) {
  std::vector<PixelRect> out;
  for (int i = 0; i < count; ++i)
    out.push_back(PixelRect{clientWidth - 80 - 70 * (count - 1 - i), clientHeight - 29, 70, 23});
  return out;
}

// ---- screen helpers

int MulDivRound(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t num = static_cast<std::int64_t>(a) * b;
  bool negative = (num < 0) != (c < 0);
  std::int64_t an = num < 0 ? -num : num;
  std::int64_t ac = c < 0 ? -static_cast<std::int64_t>(c) : c;
  std::int64_t q = (an + ac / 2) / ac;
  if (q > std::numeric_limits<int>::max()) return -1;
  return static_cast<int>(negative ? -q : q);
}

int PointsToPixels(int points) {
  MsgBoxState& s = msgBoxState();
  if (s.screenDpiY == 0) s.screenDpiY = os::ScreenDpiY();
  return MulDivRound(points, s.screenDpiY, 72);
}

ScreenPoint CenterInWorkArea(int width, int height) {
  os::ScreenRect wa = os::WorkArea();
  ScreenPoint p;
  p.x = wa.left + ((wa.right - wa.left) - width) / 2;
  p.y = wa.top + ((wa.bottom - wa.top) - height) / 2;
  return p;
}

// ---- showing boxes

int ShowMessageBox(int mode, const std::string& text, const std::string& caption,
                   const std::string& buttonList, int charset, std::uint32_t style,
                   std::int64_t timeoutMs) {
  int result =
      os::ShowBoxWindow(PrepareBox(mode, text, caption, buttonList, charset, style, timeoutMs));
  WaitWithMessages(0, 100);
  return result;
}

namespace {
std::string CaptionOr(const std::string& caption, int index) {
  return caption.empty() ? SUB::GetField(kDefaultBoxCaptions, index, "") : caption;
}
std::string ButtonsOr(const std::string& list) {
  return list.empty() ? std::string(kDefaultButtonList) : list;
}
}  // namespace

void ShowErrorBox(int mode, const std::string& text, const std::string& caption,
                  const std::string& buttonList, int charset) {
  ShowMessageBox(mode, text, CaptionOr(caption, 0), ButtonsOr(buttonList), charset, 0x10, 0);
}

void ShowAttentionBox(int mode, const std::string& text, const std::string& caption,
                      const std::string& buttonList, int charset, std::int64_t timeoutMs) {
  ShowMessageBox(mode, text, CaptionOr(caption, 1), ButtonsOr(buttonList), charset, 0x30,
                 timeoutMs);
}

bool AskYesNo(int mode, const std::string& text, const std::string& caption,
              const std::string& buttonList, int charset, std::int64_t timeoutMs) {
  return ShowMessageBox(mode, text, CaptionOr(caption, 2), ButtonsOr(buttonList), charset, 0x24,
                        timeoutMs) == kMbResultYes;
}

bool AskOkCancel(int mode, const std::string& text, const std::string& caption,
                 const std::string& buttonList, int charset) {
  return ShowMessageBox(mode, text, CaptionOr(caption, 2), ButtonsOr(buttonList), charset, 0x21,
                        0) == kMbResultOk;
}

// ---- waits

void PumpMessages(std::uint32_t sleepMs) {
  try {
    os::PumpPendingMessages();
  } catch (const std::exception& e) {
    LogException(e.what(), "YieldX", "");
  } catch (...) {
    LogException("unknown exception", "YieldX", "");
  }
  os::SleepMs(sleepMs);
}

void WaitWithMessages(std::int64_t stepMs, std::int64_t durationMs) {
  if (stepMs <= 0) stepMs = std::min<std::int64_t>(25, std::max<std::int64_t>(1, durationMs / 10));
  const std::uint32_t step =
      static_cast<std::uint32_t>(std::min<std::int64_t>(stepMs, std::numeric_limits<std::int32_t>::max()));
  const std::int64_t now = GetMilliseconds();
  const std::int64_t end =
      durationMs > std::numeric_limits<std::int64_t>::max() - now ? std::numeric_limits<std::int64_t>::max()
                                                                 : now + durationMs;
  do {
    PumpMessages(step);
  } while (GetMilliseconds() < end);
}

// ---- AutoPlay

void SetAutoPlaySuppression(bool on) {
  msgBoxState().autoPlayMessage = on ? os::RegisterMessage("QueryCancelAutoPlay") : 0;
}

std::uint32_t AutoPlayMessage() { return msgBoxState().autoPlayMessage; }

}  // namespace kv
