// Every key of the settings store with the default its readers supply, so that no other
// file spells a key or a default. Some keys are read with other defaults in some places;
// those readers pass their own default to the Read functions of settings_values.h.
#pragma once

#include <string>
#include <string_view>

namespace qsopad {

struct SettingKey {
  std::string_view section;
  std::string_view key;  // the spelling readers use
  std::string_view def;  // default text when absent
  // The spelling writers use when it differs from `key` (names compare without regard to
  // case, so both meet in one entry; the first write keeps its spelling).
  std::string_view written = {};
  std::string_view WriteName() const { return written.empty() ? key : written; }
};

inline constexpr std::string_view kAppName = "QSOPAD";

namespace sections {
inline constexpr std::string_view kOpt = "Opt";
inline constexpr std::string_view kWin = "Win";
inline constexpr std::string_view kMacro = "Macro";
inline constexpr std::string_view kUrls = "URLS";
inline constexpr std::string_view kCall = "Call";
inline constexpr std::string_view kAdif = "ADIF";        // how it is written
inline constexpr std::string_view kAdifRead = "ADif";    // how most readers spell it
inline constexpr std::string_view kAdifExport = "ADif";  // how the options file exports it
}  // namespace sections

namespace keys {
// Section "Opt".
inline constexpr SettingKey kPath{"Opt", "Path", "c:\\psk31\\psk31sbw.exe"};
inline constexpr SettingKey kLDelay{"Opt", "LDelay", "500"};
inline constexpr SettingKey kAux{"Opt", "Aux", ""};
inline constexpr SettingKey kGmt{"Opt", "GMT", "0"};
inline constexpr SettingKey kZone{"Opt", "Zone", "z"};
inline constexpr SettingKey kFontName{"Opt", "FontName", ""};
inline constexpr SettingKey kFontSize{"Opt", "FontSize", "10"};
inline constexpr SettingKey kFontBold{"Opt", "FontBold", "False"};
inline constexpr SettingKey kFontItalic{"Opt", "FontItalic", "False"};
inline constexpr SettingKey kFontStrikethru{"Opt", "FontStrikethru", "False"};
inline constexpr SettingKey kFontUnderline{"Opt", "FontUnderline", "False"};
inline constexpr SettingKey kFontColor{"Opt", "FontColor", "0"};
inline constexpr SettingKey kBackColor{"Opt", "BackColor", "16777215"};
inline constexpr SettingKey kSavePos{"Opt", "SavePos", "True"};
inline constexpr SettingKey kTod{"Opt", "TOD", "True"};
inline constexpr SettingKey kLookup{"Opt", "Lookup", "False"};  // the call sign window reads 0
inline constexpr SettingKey kZero{"Opt", "Zero", "FALSE"};
inline constexpr SettingKey kCwid{"Opt", "CWID", "False"};
inline constexpr SettingKey kClose{"Opt", "Close", "False"};
inline constexpr SettingKey kRetro{"Opt", "Retro", "False"};
inline constexpr SettingKey kRetroA{"Opt", "RetroA", "False"};
inline constexpr SettingKey kButtons{"Opt", "Buttons", "True"};
inline constexpr SettingKey kWordBk{"Opt", "WordBK", "False", "WordBk"};
inline constexpr SettingKey kMpal{"Opt", "MPAL", "0"};
inline constexpr SettingKey kCspal{"Opt", "CSPAL", "0"};
inline constexpr SettingKey kCallPal{"Opt", "callpal", "0"};
inline constexpr SettingKey kLpal{"Opt", "LPAL", "0"};
inline constexpr SettingKey kCw1{"Opt", "CW1", "1"};
inline constexpr SettingKey kRxChar{"Opt", "RXCHAR", "\\"};
inline constexpr SettingKey kSendCr{"Opt", "SendCR", "0"};
inline constexpr SettingKey kSerialNo{"Opt", "SerialNo", "1"};
inline constexpr SettingKey kUcCall{"Opt", "UCCALL", "0"};
inline constexpr SettingKey kCallClip{"Opt", "callclip", "0"};
inline constexpr SettingKey kLuName{"Opt", "LUName", "0", "luname"};
inline constexpr SettingKey kMacPalX{"Opt", "MacPalX", "1"};
// The station: "PSK31" (the PSK31 program) or "fldigi", and where fldigi's XML-RPC
// interface listens.
inline constexpr SettingKey kStation{"Opt", "Station", "PSK31"};
inline constexpr SettingKey kFldigiAddress{"Opt", "FldigiAddress", "127.0.0.1"};
inline constexpr SettingKey kFldigiPort{"Opt", "FldigiPort", "7362"};

// Section "Win". Keys whose default depends on the screen carry an empty default; their
// readers pass the computed one.
inline constexpr SettingKey kWinTop{"Win", "Top", "0"};
inline constexpr SettingKey kWinLeft{"Win", "Left", "0"};
inline constexpr SettingKey kWinWidth{"Win", "Width", ""};    // half the screen width
inline constexpr SettingKey kWinHeight{"Win", "Height", ""};  // half the screen height
inline constexpr SettingKey kPx{"Win", "PX", "0"};
inline constexpr SettingKey kPy{"Win", "PY", "0"};
inline constexpr SettingKey kPw{"Win", "PW", "640"};  // read once more with 0: ever saved?
inline constexpr SettingKey kPh{"Win", "PH", "240"};
inline constexpr SettingKey kCpt{"Win", "CPT", "3420"};
inline constexpr SettingKey kCpl{"Win", "CPL", "2715"};
inline constexpr SettingKey kMpx{"Win", "MPX", "0"};
inline constexpr SettingKey kMpy{"Win", "MPY", "0"};
inline constexpr SettingKey kMpw{"Win", "MPW", "4500"};
inline constexpr SettingKey kMph{"Win", "MPH", "4500"};
inline constexpr SettingKey kLuTop{"Win", "LUTop", "0"};
inline constexpr SettingKey kLuLeft{"Win", "LULeft", "0"};
inline constexpr SettingKey kLuWidth{"Win", "LUWidth", ""};    // a sixth of the screen width
inline constexpr SettingKey kLuHeight{"Win", "LUHeight", ""};  // a sixth of the screen height
// Placement prefix of the log window for RestoreWinPos/SaveWinPos.
inline constexpr std::string_view kLogWinPrefix = "Lg";

// Section "URLS".
// The QRZ service's call sign page: the first of the lookup source dialog's entries.
inline constexpr SettingKey kCsLookup{"URLS", "CSLOOKUP",
                                      "http://www.qrz.com/callsign.html?callsign="};

// Section "Call".
inline constexpr SettingKey kMyCall{"Call", "MyCall", ""};

// Section "ADIF" (also read as "ADif" and "Adif", which meet it in one entry). Its keys
// carry the written spelling: a first write creates the section as "ADIF".
inline constexpr SettingKey kAdifEn{sections::kAdif, "En", "False"};
inline constexpr SettingKey kAdifFile{sections::kAdif, "File", ""};
inline constexpr SettingKey kAdifCount{sections::kAdif, "Count", "11"};
inline constexpr SettingKey kAdifCustName{sections::kAdif, "CustName", "*Custom"};
}  // namespace keys

// Section "Macro": key "0" to "19"; the default is the macro's built-in text.
std::string MacroKey(int index);
// Indexed ADIF keys: "En9", "Tag10", "Val11" (plain decimal, no leading zeros).
std::string AdifEnKey(int index);
std::string AdifTagKey(int index);
std::string AdifValKey(int index);
// "Lg" + "Top" and so on, for the window-placement procedures.
std::string PlacementKey(std::string_view prefix, std::string_view what);

}  // namespace qsopad
