// The Rx frequency and the PSK31 menu, the macro palette, the options dialog, the log entry window and the call sign
// window on one QSOPAD beside the PSK31 stand-in, in the order an operator meets them: the options change Retro,
// word-break mode and logging for the rows after them.
#include <algorithm>
#include <cstdlib>

#include "driver.h"

using namespace e2e;

namespace {

// A line of a list box as it shows it (a Unicode window: read wide, shown as ANSI).
std::string Line(HWND list, int index) {
  wchar_t text[256] = {};
  char ansi[512] = {};
  if (SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text)) < 0) return "<none>";
  WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof ansi, nullptr, nullptr);
  return ansi;
}

Step LineIs(int index, const std::string& text) {
  return Do([=](Session& s) {
    Expect("palette line " + std::to_string(index), [&] { return Line(s.Require(kPaletteList), index); }, text);
  });
}

// Presses the access key until the control it shares the key with has been passed.
Step AccessKeyTo(const std::string& key, const Target& control) {
  return Do([=](Session& s) {
    HWND dialog = s.Require(kOptions), want = s.Require(control);
    for (int i = 0; i < 3 && FocusOfThread(dialog) != want; ++i) {
      PressKeys(dialog, key);
      WaitUntil([&] { return FocusOfThread(dialog) == want; }, 1000);
    }
  });
}

Step PickFileNamed(const std::string& title, const std::string& path) {
  return Do([=](Session& s) { REQUIRE_MSG(PickFile(title, path, s.pid), "no \"" << title << "\" dialog"); });
}

constexpr Target OptionBox(int n) { return {kOpt, IDC_OPT_CHECK1 + n - 1, "option box"}; }
constexpr Target kOptionsPath{kOpt, IDC_OPT_PATH, "path box"};
constexpr Target kAdifOn{kOpt, IDC_OPT_ADIFEN, "Enable ADIF"};
constexpr Target kAdifFile{kOpt, IDC_OPT_ADIFFILE, "ADIF file box"};

}  // namespace

E2E_SCENARIO(palette_and_options_session) {
  Session s("palette");
  const std::string adi = s.File("station.adi"), qpd = s.File("setup.qpd"), damaged = s.File("damaged.qpd");
  REQUIRE(WriteFileText(damaged, "\"*Opt\",\"*\"\r\n\"Zone\",\"UTC\"\r\n\"FontColor\",\"red\"\r\n"));
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", "DL1ABC"}, {"Opt", "UCCALL", "1"},
                 // Values a hand edit damaged, named when the options dialog first opens.
                 {"Opt", "FontSize", "big"}, {"Opt", "LPAL", "True"},
                 {"Macro", "10", "<F1>"}, {"Macro", "17", "<F8>"}, {"Macro", "18", "<F9>"}, {"Macro", "19", "<F10>"},
                 {"Macro", "0", "<SF1>"}, {"Macro", "3", "say \"hi\", then\r\nbye"}, {"Macro", "12", "keep"},
                 {"Macro", "5", "^3 de ^2"}, {"URLS", "CSLOOKUP", "*FCC PATH=C:\\no such folder\\APPL.DAT"},
                 // Logging off, to a file with a field of the operator's own and one left out.
                 {"ADIF", "File", adi}, {"ADIF", "Count", "12"}, {"ADIF", "Tag12", "SOTA_REF"}, {"ADIF", "En12", "True"},
                 {"ADIF", "Val12", "W7A/MN-001"}, {"ADIF", "En2", "False"}, {"ADIF", "Tag5", "QSL_VIA"}});
  std::int64_t blanks[2] = {};
  const std::string kAsks = "Enter new RX frequency";
  RunRows(s, {
      {"Set RX types the frequency into the focused Rx box; Cancel and an empty answer send nothing",
       {Menu(IDM_SETRX), Answer(kAsks, "14"), Station("rxbox", "End '\b\b\b\b\b\b\b\b14\r'"), HasFocus(kText1),
        Do([](Session& s) {
          const Journal j = Select(ReadJournal(s.psk31Journal), "rxbox", "");
          CHECK_MSG(Select(j, "", "FOCUS").size() > 0 && Select(j, "", "FOCUS")[0].ms <= Select(j, "", "WM_KEYDOWN")[0].ms,
                    "the Rx box was not focused first" << Dump(j));
        }), Menu(IDM_SETRX), Answer(kAsks, "99", IDCANCEL), Menu(IDM_SETRX), Answer(kAsks, ""),
        // The hidden Retro menu's item does nothing; the PSK31 menu presses F1 to F8 (F1 and
        // F8 again, for BPSK and no tune); the frequency items nudge through the memo.
        Menu(IDM_PSKA_1), Menu(IDM_PSK_1), Menu(IDM_PSK_2), Menu(IDM_PSK_3), Menu(IDM_PSK_4), Menu(IDM_PSK_5),
        Menu(IDM_PSK_6), Menu(IDM_PSK_7), Menu(IDM_PSK_8), Menu(IDM_PSK_8), Menu(IDM_PSK_1), Menu(IDM_FREQPLUS),
        Menu(IDM_FREQMINUS), Station("memo", "Right Left"), Station("panel", "F1 F2 F3 F4 F5 F6 F7 F8 F8 F1"),
        Station("rxbox", "End '\b\b\b\b\b\b\b\b14\r'"), Do([](Session& s) {
          std::string freqs;
          for (const auto& e : Select(s.StationSince(), "rxbox", "RXFREQ")) freqs.append(" ").append(e.Arg(0));
          CHECK_MSG(freqs == " 14 15 14", freqs);
        })}},
      {"the palette from the menu: its lines in key order at the default place, the keyboard, Print with no printer",
       {Menu(IDM_MPAL), Text(kPalette, "QSOPAD Macros"), Do([](Session& s) {
          CHECK(GetWindow(s.Find(kPalette), GW_OWNER) == s.main);
          const RECT r = WindowRectOf(s.Find(kPalette));
          CHECK_MSG(SameRect(r, RECT{0, 0, TwipsToPx(4500), TwipsToPx(4500)}), RectText(r));
          CHECK(SendMessageW(s.Find(kPaletteList), LB_GETCOUNT, 0, 0) == 20);
        }),
        // The preview expands what it can: no partner call yet.
        LineIs(0, " F1 : <F1>"), LineIs(15, "SF6 : ^3 de DL1ABC"), IsGone(kPaletteEdit), IsEnabled(kPaletteSend, false),
        HasFocus(kPaletteList), PostKeyTo(kPaletteList, VK_TAB), HasFocus(kPalettePrint), Choose(kPaletteList, 2),
        IsShown(kPaletteEdit), IsEnabled(kPaletteSend, true), Text(kPaletteLabel, "F3"), Text(kPaletteEdit, "keep"),
        // Wine here has no printer: the system's error is told, and both windows go on.
        Click(kPalettePrint), Box("QSOPAD", "The macros could not be printed: *(error *"), IsShown(kPalette)}},
      {"editing in place: an edit is stored when another line is chosen, Esc puts the stored text back, Enter stores",
       {Tick(kPaletteExpand, false), Stored("Opt/MacPalX", "0"), LineIs(15, "SF6 : ^3 de ^2"), Choose(kPaletteList, 12),
        Text(kPaletteEdit, ""), Text(kPaletteLabel, "SF3"), SetText(kPaletteEdit, "hello ^2"), Choose(kPaletteList, 3),
        Stored("Macro/2", "hello ^2"), Stored("Macro/13", "<absent>"), LineIs(12, "SF3 : hello ^2"),
        Text(kPaletteEdit, "^4 "), Text(kPaletteLabel, "F4"), SetText(kPaletteEdit, "not this"),
        PostKeyTo(kPaletteEdit, VK_ESCAPE), Text(kPaletteEdit, "^4 "), SetText(kPaletteEdit, "^4 utc"),
        PostKeyTo(kPaletteEdit, VK_RETURN), Stored("Macro/13", "^4 utc"), LineIs(3, " F4 : ^4 utc"),
        Tick(kPaletteExpand, true), Stored("Opt/MacPalX", "1"), LineIs(15, "SF6 : ^3 de DL1ABC")}},
      {"Send and a double click send the chosen macro, an edit stored first, the keyboard back in the typing area",
       {Choose(kPaletteList, 18), SetText(kPaletteEdit, "^9hi^0"), Click(kPaletteSend), Memo("hi"),
        Stored("Macro/8", "^9hi^0"), HasFocus(kText1), Station("panel", "F5"), Logged("app", "TXEND"),
        Do([](Session& s) {
          HWND list = s.Require(kPaletteList);
          PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(IDC_MPAL_LIST1, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
        }), Memo("hihi"), Station("panel", "F5 F5"), Close(kPalette), IsGone(kPalette)}},
      {"the options dialog names damaged values once and mends them at OK; a damaged options file is refused whole",
       {Keys(kMain, "alt+t o"), IsShown(kOptions), IsEnabled(kMain, false),
        Box("QSOPAD", "*\"FontSize\" holds \"big\"*\"LPAL\" holds \"True\"*"), Keys(kOptions, "alt+l"),
        PickFileNamed("Select Load File", damaged),
        Box("QSOPAD", "File error: line 3: Setting [Opt] \"FontColor\" holds \"red\"*"), Text(kOptionsZone, "z"),
        Stored("Opt/Zone", "<absent>"), Keys(kOptions, "Return"), IsGone(kOptions), Stored("Opt/FontSize", "10"),
        Stored("Opt/LPAL", "0")}},
      {"the own call, word-break mode and the PSK31 function keys applied and followed at once",
       {Keys(kMain, "alt+t o"), Text(kOptions, "Options"), IsShown(kOptionsPath), IsGone(OptionBox(11)),
        Text(OptionBox(4), "Convert &0 to \xD8 "), Keys(kOptions, "alt+n ctrl+a P A 3 X Y Z"), Text(kOptionsCall, "PA3XYZ"),
        Keys(kOptions, "ctrl+Tab"), IsShown(OptionBox(11)), IsGone(kOptionsPath), Keys(kOptions, "alt+d"),
        IsChecked(OptionBox(11), true),
        // "F&Keys" shares its key with "CD Loo&kup ...": Alt+K moves on without ticking; Space ticks.
        AccessKeyTo("alt+k", OptionBox(8)), HasFocus(OptionBox(8)), IsChecked(OptionBox(14), false), IsChecked(OptionBox(8), false),
        Keys(kOptions, "space"), IsChecked(OptionBox(8), true), Click({kOpt, IDC_OPT_APPLY, "Apply"}),
        Text({kOpt, IDC_OPT_FRAME2, "FKeys frame"}, "Set Control+Function Keys"),
        Stored("Opt/WordBk", "True"), IsShown(kOptions), Keys(kOptions, "Return"), IsGone(kOptions),
        IsEnabled(kMain, true), Text(kOwnCall, "PA3XYZ"),
        // F1 presses the station's F1 now; a word goes out once its blank is typed.
        Menu(IDM_CLEAR), Keys(kMain, "F1"), Station("panel", "F1"), Click(kSend), Type("hello"),
        Text(kText1, "hello"), Type("\b\bp"), Text(kText1, "help"), Do([&](Session&) { blanks[0] = NowMs(); }),
        Type(" "), Memo("help "), Type("me"), Text(kText1, "help me"), Do([&](Session&) { blanks[1] = NowMs(); }),
        Type(" "), Memo("help me "), Do([&](Session& s) {
          const Journal chars = Select(s.StationSince(), "memo", "WM_CHAR");
          CHECK_MSG(chars[0].ms >= blanks[0] && chars[5].ms >= blanks[1], "a word left before its blank" << Dump(chars));
        }), Click(kRcv), Station("panel", "F1 F5")}},
      {"function keys with Retro on: Ctrl runs the macros, the plain keys press the station's",
       {Menu(IDM_CLEAR), Keys(kMain, "ctrl+F1"), Text(kText1, "<F1>"), Keys(kMain, "ctrl+F8"), Text(kText1, "<F1><F8>"),
        Keys(kMain, "ctrl+F10 q"), Text(kText1, "<F1><F8><F10>q"), Keys(kMain, "F9"), Text(kText1, "<F1><F8><F10>q<F9>"),
        Keys(kMain, "F10 q shift+F1"), Text(kText1, "<F1><F8><F10>q<F9><F10>q<SF1>"),
        Keys(kMain, "F1 F2 F3 F4 F5 F6 F7 F8 F8 F1 q"), Station("panel", "F1 F2 F3 F4 F5 F6 F7 F8 F8 F1"),
        Text(kText1, "<F1><F8><F10>q<F9><F10>q<SF1>q")}},
      // A key typed after them reaches the typing area once they have all been handled; a log
      // window that opened would still be there, or would have stored its place at Esc.
      {"Lo&g is greyed while ADIF logging is off",
       {Menu(IDM_CLEAR), Keys(kMain, "alt+t g Escape Escape q"), Text(kText1, "q"), IsGone(kLogWindow),
        Stored("Win/LgTop", "<absent>"), FileHolds(adi, "")}},
      {"the options file saved and loaded back; ADIF logging set up on the Logging page",
       {Keys(kMain, "alt+t o"), Text(kOptionsZone, "z"),
        // "Sa&ve Opts" shares its key with "Rc&v Character:".
        AccessKeyTo("alt+v", {kOpt, IDC_OPT_COMMAND5, "Save Opts"}), Keys(kOptions, "space"),
        PickFileNamed("Select Save File", qpd), Do([&](Session&) {
          Expect("the options file", [&] { return ReadFileText(qpd); }, "*\"3\",\"say \"\"hi\"\", then\r\nbye\"\r\n*", true);
        }), Keys(kOptions, "alt+z ctrl+a U T C"), Text(kOptionsZone, "UTC"), Keys(kOptions, "alt+l"),
        PickFileNamed("Select Load File", qpd), Text(kOptionsZone, "z"),
        Keys(kOptions, "ctrl+Tab ctrl+Tab ctrl+Tab ctrl+Tab"), IsShown(kAdifOn), IsEnabled(kAdifFile, false),
        Keys(kOptions, "alt+e"), Stored("ADIF/En", "1"), IsEnabled(kAdifFile, true), Keys(kOptions, "Return"),
        IsGone(kOptions), Stored("ADIF/File", adi), Stored("Opt/Zone", "z")}},
      {"a contact logged from the Tools menu and the call sign window, written whole to the ADIF file",
       {Keys(kMain, "alt+t g"), Text(kLogWindow, "Logging"), Do([](Session& s) {
          // BAND is off; every other field in table order, with its table index.
          std::string list;
          HWND l = s.Require(kLogList);
          for (int i = 0; i < SendMessageW(l, LB_GETCOUNT, 0, 0); ++i) {
            list.append(i ? " " : "").append(Line(l, i)).append("=");
            list += std::to_string(SendMessageW(l, LB_GETITEMDATA, static_cast<WPARAM>(i), 0));
          }
          CHECK_MSG(list == "CALL=0 NAME=1 QSO_DATE=3 TIME_ON=4 QSL_VIA=5 MODE=6 RST_SENT=7 RST_RCVD=8 FREQ=9 "
                            "TIME_OFF=10 NOTES=11 SOTA_REF=12", list);
          const RECT r = WindowRectOf(s.Find(kLogWindow));  // first opened: the screen's top right corner
          CHECK_MSG(r.top <= 2 && std::abs(r.right - GetSystemMetrics(SM_CXSCREEN)) <= 4, RectText(r));
        }),
        // "Insert &Time": the time, not yet committed; Esc drops it.
        HasFocus(kLogValue), Keys(kLogWindow, "alt+t"), Do([](Session& s) {
          Expect("the inserted time", [&] {
            const std::string t = TextOf(s.Find(kLogValue));
            return t.size() == 4 && t.find_first_not_of("0123456789") == std::string::npos ? "hhmm" : t;
          }, "hhmm");
        }), Keys(kLogWindow, "Escape"), IsGone(kLogWindow),
        // The call sign window's Log button opens it with the call typed there.
        Keys(kMain, "F12"), HasFocus(kCallsignCall), Keys(kCallsign, "k 1 x y z Tab j o e alt+o"),
        Text(kLogValue, "K1XYZ"),
        // Each selection puts the keyboard back into the value box: to the list, End for
        // SOTA_REF, to the list again, Up for NOTES.
        Keys(kLogWindow, "shift+Tab End shift+Tab Up"), HasFocus(kLogValue), Do([](Session& s) {
          Expect("the field", [&] { return std::to_string(SendMessageA(s.Find(kLogList), LB_GETCURSEL, 0, 0)); }, "10");
        }), Keys(kLogWindow, "g m space less b greater"), Text(kLogValue, "gm <b>"), Do([](Session& s) {
          // A character the code page cannot hold: one "?" in the file, counted in the length.
          SendMessageW(s.Find(kLogValue), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"gm <b> \x0141\x00f3\x0064\x017a"));
          CHECK_MSG(Matches(TextOf(s.Find(kLogPreview)), "*NOTES = \r\n*"), "the preview shows an uncommitted note");
        }), Keys(kLogWindow, "Return"), IsGone(kLogWindow), Do([&](Session& s) {
          // Eight lines, the date and the time as the clock has them.
          const std::string logged = ReadFileText(adi);
          CHECK_MSG(std::count(logged.begin(), logged.end(), '\n') == 8 &&
                        Matches(logged, "QSOPAD Log file <eoh>\r\n<CALL:5>K1XYZ\r\n<NAME:3>joe\r\n<QSO_DATE:8>20*\r\n"
                                        "<TIME_ON:4>*\r\n<NOTES:11>gm <b> ?\xf3" "d?\r\n<SOTA_REF:10>W7A/MN-001\r\n<eor>\r\n"),
                    Visible(logged));
          Expect("its place", [&] { return ReadSetting(s.folder(), "Win", "LgTop") ? "kept" : "not kept"; }, "kept");
        }), Keys(kCallsign, "Escape"), IsGone(kCallsign)}},
      {"a call sign typed, pasted and handed over to the main window and the log program",
       {Do([](Session& s) { s.StartLog(true); }), LogSends(1, "K1XYZ"), LogSends(2, "Joe"), Text(kPartner, "K1XYZ"),
        Keys(kMain, "F12"), Text(kCallsign, "Set Callsign"), HasFocus(kCallsignCall), Text(kCallsignCall, "K1XYZ"),
        Text(kCallsignName, "Joe"), IsEnabled({kCsf, IDC_CSF_COMMAND4, "Log"}, true),
        // A paste keeps its case and empties the name box like any change of the call: copied
        // from the name box, pasted over the call.
        SetText(kCallsignName, "pa3xyz"), Do([](Session& s) {
          for (const auto& [box, message] : {std::pair{kCallsignName, WM_COPY}, {kCallsignCall, WM_PASTE}}) {
            SendMessageA(s.Find(box), EM_SETSEL, 0, -1);
            SendMessageA(s.Find(box), message, 0, 0);
          }
        }), Text(kCallsignCall, "pa3xyz"), Text(kCallsignName, ""),
        // Typed letters come out as capitals and empty the name box; a name keeps its case.
        SetText(kCallsignName, "Joe"), Do([](Session& s) { SendMessageA(s.Find(kCallsignCall), EM_SETSEL, 0, -1); }),
        Keys(kCallsign, "d l 1 a b c"), Text(kCallsignCall, "DL1ABC"), Text(kCallsignName, ""),
        Keys(kCallsign, "Tab h a n s"), Text(kCallsignName, "hans"),
        // Enter is OK: call and name handed over, the window closed, the keyboard back home.
        Keys(kCallsign, "Return"), Text(kPartner, "DL1ABC"), IsGone(kCallsign), LogGot(" 1:DL1ABC 2:hans"),
        HasFocus(kText1),
        // Esc closes it and hands nothing over.
        Menu(IDM_CALL), Text(kCallsignCall, "DL1ABC"), SetText(kCallsignCall, "XX9XX"), Keys(kCallsign, "Escape"),
        IsGone(kCallsign), Text(kPartner, "DL1ABC"), LogGot(" 1:DL1ABC 2:hans")}},
      {"OK with Lookup on waits on the lookup's message, owned by the call sign window; a close meanwhile ends all",
       {Keys(kMain, "F12"), Tick(kCallsignLookup, true), Stored("Opt/Lookup", "1"), SetText(kCallsignCall, "K1ABC"),
        Keys(kCallsign, "Return"), Do([](Session& s) {
          const MessageBoxInfo box = WaitMessageBox("QSOPAD", s.pid);
          CHECK_MSG(box.text == "FCC Database error", box.text);
          CHECK_MSG(GetWindow(box.hwnd, GW_OWNER) == s.Find(kCallsign), ClassOf(GetWindow(box.hwnd, GW_OWNER)));
          CHECK_MSG(!IsWindowEnabled(s.main), "the main window takes input under the message");
          PostMessageA(s.main, WM_CLOSE, 0, 0);
          REQUIRE_MSG(s.programs.WaitExit(s.pid), "QSOPAD did not end");
        }), LogGot(" 0:x")}},
  });
}
