// What the main window shows and does on the core's behalf. The shell implements it over
// the real window; tests record the calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/window_system.h"
#include "macros/expand.h"

namespace qsopad {

// Font options of the typing area. Colours are 0x00BBGGRR.
struct FontSpec {
  std::string name;
  double size = 10;
  bool bold = false, italic = false, strikethru = false, underline = false;
  std::uint32_t color = 0;
  std::uint32_t back_color = 0xFFFFFF;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

// A window's outer placement in twips.
struct TwipsRect {
  long left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

class MainView {
 public:
  enum class Menu { kPsk31, kPsk31a };
  // Status bar panels, left to right.
  enum class Panel { kTime, kOcall, kQName, kXmit, kPsk, kEt };
  // Background of "&Send": where the transmission stands.
  enum class SendColour { kNormal, kRed, kLightRed };

  virtual ~MainView() = default;

  // Shows or hides one of the two "&PSK31" menus in the menu bar.
  virtual void SetMenuVisible(Menu menu, bool visible) = 0;
  // Enables or greys out a whole "&PSK31" menu.
  virtual void SetMenuEnabled(Menu menu, bool enabled) = 0;
  // Enables "&Launch/Find PSK31 Window".
  virtual void SetFindWindowEnabled(bool enabled) = 0;
  // Key 1..8 of the "&PSK31" menus: usable when the station offers it; otherwise greyed,
  // with `why` shown beside it.
  virtual void SetStationKey(int key, bool offered, const std::string& why) = 0;
  // Why the station does not answer, "" when it does: the status bar shows it.
  virtual void SetStationTrouble(const std::string& text) = 0;

  virtual void ApplyTypingFont(const FontSpec& font) = 0;
  // Caption of Command1..Command6.
  virtual void SetButtonCaption(int button, const std::string& caption) = 0;
  // Visibility of all six buttons; runs the layout again.
  virtual void SetButtonsVisible(bool visible) = 0;
  // Shows the main window, not modal.
  virtual void Show() = 0;
  // Moves the main window; sizes are outer sizes in twips. Resizing runs the layout,
  // which calls back into the model before it returns.
  virtual void MoveTwips(long left, long top) = 0;
  virtual void ResizeTwips(long width, long height) = 0;
  // The primary screen's size in twips.
  virtual TwipsRect ScreenTwips() = 0;
  // The main window's outer placement, when it is in its normal state.
  virtual std::optional<TwipsRect> NormalPlacementTwips() = 0;

  virtual void FocusTypingArea() = 0;
  virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
  virtual std::optional<std::string> AskText(const std::string& prompt) = 0;

  // The typing area. Appending puts the caret at the end, appends, and leaves the caret at
  // the end. Texts are ANSI bytes.
  virtual void AppendTypingText(const std::string& text) = 0;
  virtual void MoveTypingCaretToEnd() = 0;
  virtual void ClearTypingText() = 0;

  virtual void SetPanelText(Panel panel, const std::string& text) = 0;
  // Enabled panels are drawn normally, disabled ones greyed.
  virtual void SetPanelEnabled(Panel panel, bool enabled) = 0;
  virtual void SetSendButton(bool enabled, SendColour colour) = 0;

  // The main window's own handle (for the messages exchanged with other programs).
  virtual WindowHandle Handle() = 0;
  // Opens the call sign window, with its name field first when `name_first`.
  virtual void OpenCallsignWindow(bool name_first) = 0;
  // Write the call sign window's call sign box or its name box, loading the window hidden
  // when it does not exist yet. Writing the call sign empties the name box.
  virtual void SetCallsignWindowCall(const std::string& call) = 0;
  virtual void SetCallsignWindowName(const std::string& name) = 0;
  // Start-up: shows the lookup result window, not modal, owned by the main window.
  virtual void ShowLookupResultWindow() = 0;
  // Shutdown: closes the call sign window, the lookup result window and the log entry
  // window where they exist, saving their placement.
  virtual void UnloadOwnedWindows() = 0;
  // The open-file dialog; the chosen file's full name, nullopt when cancelled.
  // `filter` pairs a description and a pattern: "Text Files|*.txt".
  virtual std::optional<std::string> AskOpenFile(const std::string& title,
                                                 const std::string& filter) = 0;
};

// What the desktop offers besides windows: clock, locale, beep, clipboard.
class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual LocalTime Now() = 0;
  // The locale's abbreviated month name, month 1..12.
  virtual std::string MonthAbbreviation(int month) = 0;
  virtual void Beep() = 0;
  // The clipboard's text (ANSI); nullopt when it holds none.
  virtual std::optional<std::string> ClipboardText() = 0;
};

// The macro palette as the main window sees it.
class MacroPalette {
 public:
  virtual ~MacroPalette() = default;
  // Rebuilds the list (the palette is created hidden when it does not exist yet).
  virtual void InitList() = 0;
  // Shows the palette, not modal, owned by the main window (created when needed).
  virtual void ShowPalette() = 0;
  // Closes the palette if it exists, saving its settings.
  virtual void UnloadPalette() = 0;
};

// The single error reporter: shows "Unexpected error. Please report the following:" with
// the procedure's name and the error, then ends the program. Fakes only record.
class ErrorReporter {
 public:
  virtual ~ErrorReporter() = default;
  virtual void Report(const std::string& procedure, const std::string& description) = 0;
};

// The reporter's text.
std::string UnexpectedErrorText(const std::string& procedure, const std::string& description);

}  // namespace qsopad
