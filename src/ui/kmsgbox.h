// The markup message box: the system's own replacement for the standard
// message box, with bold spans, paragraph breaks and tabs in its text, a
// translatable button list and the box font of the language in use. Also the
// two waits that keep the single user-interface thread responsive, and the
// AutoPlay suppression switch.
//
// Everything that can be decided without a window lives here: the markup,
// the heading, the style adjustments, the buttons, the keyboard decisions,
// the sizing and layout numbers. The window itself is in kmsgbox_win32.cpp
// (the host build answers boxes from a script, see os/host/host_ui.h).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/ui.h"

namespace kv {

// ---- style word
constexpr std::uint32_t kMbButtonSetMask = 0x0F;
constexpr std::uint32_t kMbIconMask = 0xF0;
constexpr std::uint32_t kMbRightAlign = 0x00080000;
constexpr std::uint32_t kMbRtlReading = 0x00100000;
constexpr std::uint32_t kMbNoClose = 0x10000000;

constexpr int kMbResultNone = 0;  // closed without a button
constexpr int kMbResultOk = 1;
constexpr int kMbResultCancel = 2;
constexpr int kMbResultAbort = 3;
constexpr int kMbResultRetry = 4;
constexpr int kMbResultIgnore = 5;
constexpr int kMbResultYes = 6;
constexpr int kMbResultNo = 7;

extern const char* const kMsgBoxClassName;     // "KMsgBox"
extern const char* const kDefaultButtonList;   // "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"
extern const char* const kDefaultBoxCaptions;  // "|Error|Attention|Confirm|"

// A longer text is cut to this many bytes before it is rendered: nobody can
// read more in a box, and the markup steps must stay cheap on any input.
constexpr std::size_t kMaxBoxTextBytes = 64 * 1024;

// ---- box settings and process-wide state

struct MessageBoxSettings {
  std::string fontFace = "Tahoma";
  int fontPoints = 8;
  int charset = 1;  // DEFAULT_CHARSET
};

struct MsgBoxState {
  MessageBoxSettings settings;
  std::uint32_t autoPlayMessage = 0;  // the registered "QueryCancelAutoPlay"; 0 = off
  int screenDpiY = 0;                 // read once; 0 = not yet read
};
MsgBoxState& msgBoxState();
void ResetMsgBoxState();

void SetMessageBoxFont(const std::string& face, int points, int charset);

// ---- markup

// "\\n" (backslash, backslash, n) and "<P>" become CR LF, "\\t" and "<T>" a
// TAB; the two-backslash forms are case-sensitive, the tags are not.
std::string ExpandMarkupBreaks(const std::string& text);

struct RenderedMarkup {
  std::string text;                 // plain text
  std::vector<os::BoxSpan> bold;    // spans to show in bold, in recording order
};
// The breaks, a leading "<<b>" turned into "<b>", the bold spans recorded and
// their tags removed. Spans are clipped to the plain text.
RenderedMarkup RenderMarkup(const std::string& markup);

// Mode 0: the caption repeated as a bold heading over the text; the three
// stock captions are shown upper-cased.
std::string ApplyHeading(const std::string& text, const std::string& caption);

// Mode 2 makes the box not closable; Hebrew (177) and Arabic (178) text is
// right-aligned and read right to left.
std::uint32_t AdjustBoxStyle(int mode, int charset, std::uint32_t style);

// ---- buttons and icon

struct ButtonSlot {
  int listPos;  // position of the caption in the button list
  int result;   // result code
};
std::vector<ButtonSlot> ButtonSet(std::uint32_t style);  // empty for sets above 5
std::vector<os::BoxButton> BoxButtons(std::uint32_t style, const std::string& buttonList);
int DefaultButtonIndex(std::uint32_t style, int buttonCount);  // -1 when there is no button
// The system icon number for the style (32513..32516), or 0 for the
// program's own "MainIcon".
int BoxIconId(std::uint32_t style);

// Everything the window needs for one box.
os::BoxRequest PrepareBox(int mode, const std::string& text, const std::string& caption,
                          const std::string& buttonList, int charset, std::uint32_t style,
                          std::int64_t timeoutMs);

// ---- keyboard decisions
//
// The box offers every message of the thread to its keyboard handler before
// dispatching it. The decision depends only on the message, the captions,
// the button with the default look ("current") and the button that has the
// keyboard focus (-1 when the focus is elsewhere).

constexpr std::uint32_t kWmKeyDown = 0x0100;
constexpr std::uint32_t kWmKeyUp = 0x0101;
constexpr std::uint32_t kWmChar = 0x0102;
constexpr std::uint32_t kWmSysKeyDown = 0x0104;
constexpr std::uint32_t kWmSysChar = 0x0106;
constexpr std::uintptr_t kVkTab = 0x09;
constexpr std::uintptr_t kVkReturn = 0x0D;
constexpr std::uintptr_t kVkEscape = 0x1B;
constexpr std::uintptr_t kVkLeft = 0x25;
constexpr std::uintptr_t kVkUp = 0x26;
constexpr std::uintptr_t kVkRight = 0x27;
constexpr std::uintptr_t kVkDown = 0x28;

enum class BoxKeyAction {
  None,   // not a key of the box
  Press,  // press `button`
  Focus,  // give `button` the focus and the default look
  Close,  // close with result 0
};

struct BoxKeyDecision {
  BoxKeyAction action = BoxKeyAction::None;
  int button = -1;
  bool consumed = false;  // true: the message is not dispatched
};

// Alt + character: the leftmost button whose caption's second character is
// the character or its upper-case form; -1 when none.
int FindAltKeyButton(char typed, const std::vector<std::string>& captions);
// Letter key: the rightmost button with that letter after its first "&"
// (or as its first character when it has no "&"); -1 when none.
int FindLetterButton(char letter, const std::vector<std::string>& captions);

BoxKeyDecision DecideBoxKey(std::uint32_t message, std::uintptr_t wParam,
                            const std::vector<std::string>& captions, int current, int focused);

// ---- sizing and layout (pixels)

struct PixelSize {
  int width = 0;
  int height = 0;
  bool operator==(const PixelSize& o) const { return width == o.width && height == o.height; }
};

struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PixelRect& o) const {
    return x == o.x && y == o.y && width == o.width && height == o.height;
  }
};

constexpr int kBoxWrapWidth = 600;

// The font's height plus its external leading; one more for "MS PGothic",
// whose lines the rich edit control sets a pixel apart.
int BoxLineHeight(int fontHeight, int externalLeading, const std::string& face);

// Measures the plain text line by line (lines split at CR LF; an empty text
// counts as one blank): width = widest line + 10, capped at 600; height = the
// lines, each line wider than 600 counted as the lines it wraps into. The
// control is then sized to (width + 10) x height.
PixelSize MeasureBoxText(const std::string& plainText, int lineHeight,
                         const std::function<int(const std::string&)>& lineWidth);

// Bold text is wider than the measurement: widens the control in steps of
// 10 until the height it asks for fits the measured height. `tryWidth` sets
// the control's width and returns the size the control last asked for.
// Returns the control width to keep.
int WidenForBold(const PixelSize& measured,
                 const std::function<PixelSize(int width)>& tryWidth);

// Outer window size for a text control of the given size.
PixelSize BoxWindowSize(const PixelSize& control, int sizeFrameX, int sizeFrameY,
                        int captionHeight);
// The text control's place in the client area.
PixelRect BoxTextPlacement(int clientWidth, int clientHeight, const PixelSize& control);
// The buttons, left to right, in a client area of the given size.
std::vector<PixelRect> BoxButtonRects(int clientWidth, int clientHeight, int count);

// ---- screen helpers

// a * b / c rounded to the nearest integer (halves away from zero); -1 when
// c is 0, as the system's MulDiv.
int MulDivRound(int a, int b, int c);
// Points to pixels at the screen's vertical resolution (read once).
int PointsToPixels(int points);
// Top-left corner that centres a window of the given size in the work area.
struct ScreenPoint {
  int x = 0, y = 0;
};
ScreenPoint CenterInWorkArea(int width, int height);

// ---- showing boxes

int ShowMessageBox(int mode, const std::string& text, const std::string& caption,
                   const std::string& buttonList, int charset, std::uint32_t style,
                   std::int64_t timeoutMs);

void ShowErrorBox(int mode, const std::string& text, const std::string& caption,
                  const std::string& buttonList, int charset);
void ShowAttentionBox(int mode, const std::string& text, const std::string& caption,
                      const std::string& buttonList, int charset, std::int64_t timeoutMs);
bool AskYesNo(int mode, const std::string& text, const std::string& caption,
              const std::string& buttonList, int charset, std::int64_t timeoutMs);
bool AskOkCancel(int mode, const std::string& text, const std::string& caption,
                 const std::string& buttonList, int charset);

// ---- waits

// Dispatches every pending message of the thread, then sleeps. An exception
// thrown while a message is handled is logged and goes no further.
void PumpMessages(std::uint32_t sleepMs);
// Dispatches messages until `durationMs` has passed on the millisecond clock,
// at least once; a step of 0 picks min(25, max(1, duration / 10)).
void WaitWithMessages(std::int64_t stepMs, std::int64_t durationMs);

// ---- AutoPlay
void SetAutoPlaySuppression(bool on);
// The registered message to answer with 1; 0 while suppression is off.
std::uint32_t AutoPlayMessage();

}  // namespace kv
