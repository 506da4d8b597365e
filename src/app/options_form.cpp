#include "app/options_form.h"

#include "station/station.h"

#include <charconv>
#include <cstdint>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"
#include "station/station.h"

namespace qsopad {

namespace {

// Check1..Check11 in the order Load reads and Apply writes them (Check7 has no key).
struct OnOffBox {
  int box;
  const SettingKey* key;
};
constexpr OnOffBox kOnOffBoxes[] = {
    {1, &keys::kSavePos}, {2, &keys::kTod},    {3, &keys::kLookup},  {4, &keys::kZero},
    {5, &keys::kCwid},    {6, &keys::kClose},  {8, &keys::kRetro},   {9, &keys::kRetroA},
    {10, &keys::kButtons}, {11, &keys::kWordBk},
};

bool Checked(int state) { return state == 1; }

void WriteBox(SettingsStore& store, const SettingKey& key, int state) {
  WriteText(store, key, std::to_string(state));
}

std::string NumberText(double value) {
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::to_string(value);
}

}  // namespace

OptionsFormModel::OptionsFormModel(SettingsStore& store,
                                   const std::array<std::string, 20>& defaults,
                                   OptionsHost& host)
    : store_(store), defaults_(defaults), host_(host) {}

FKeysCaptions OptionsFormModel::Captions() {
  if (ParseBool(Readable(keys::kRetro))) return {"^FKeys", "Set Control+Function Keys"};
  return {"FKeys", "Set Function Keys"};
}

std::string OptionsFormModel::Readable(const SettingKey& key) {
  std::string text = ReadText(store_, key);
  if (std::optional<std::string> problem = UnreadableValue(key.section, key.key, text)) {
    if (named_.insert(*problem).second) damaged_.push_back(std::move(*problem));
    return std::string(key.def);
  }
  return text;
}

std::optional<std::string> OptionsFormModel::DamagedValuesText() {
  if (damaged_.empty()) return std::nullopt;
  std::string text = kDamagedValuesText;
  for (const std::string& problem : damaged_) text += "\r\n" + problem;
  damaged_.clear();
  return text;
}

OptionsControls OptionsFormModel::Load(const std::string& current_font) {
  OptionsControls c;
  c.LDelay = ReadText(store_, keys::kLDelay);
  c.AuxPath = ReadText(store_, keys::kAux);
  c.sample.name = ReadText(store_, keys::kFontName, current_font);
  c.sample.size = ParseNumber(Readable(keys::kFontSize));
  c.sample.bold = ParseBool(Readable(keys::kFontBold));
  c.sample.italic = ParseBool(Readable(keys::kFontItalic));
  c.sample.strikethru = ParseBool(Readable(keys::kFontStrikethru));
  c.sample.underline = ParseBool(Readable(keys::kFontUnderline));
  c.sample.color = static_cast<std::uint32_t>(ParseLong(Readable(keys::kFontColor)));
  c.sample.back_color = static_cast<std::uint32_t>(ParseLong(Readable(keys::kBackColor)));
  c.Path = ReadText(store_, keys::kPath);
  c.GMT = ReadText(store_, keys::kGmt);
  for (int n = 0; n < 20; ++n)
    c.Macro[static_cast<std::size_t>(n)] =
        store_.ReadSetting(sections::kMacro, MacroKey(n), defaults_[static_cast<std::size_t>(n)]);
  c.TZone = ReadText(store_, keys::kZone);
  for (const OnOffBox& b : kOnOffBoxes)
    c.checks[static_cast<std::size_t>(b.box)] = ParseBool(Readable(*b.key)) ? 1 : 0;
  c.checks[7] = 0;
  const SettingKey* states[] = {&keys::kMpal, &keys::kCspal, &keys::kLpal, &keys::kCw1};
  for (int i = 0; i < 4; ++i) {
    const long state = ParseLong(Readable(*states[i]));
    // A box has three states; anything else shows as checked, as a non-zero flag would.
    c.checks[static_cast<std::size_t>(12 + i)] = state == 0 ? 0 : state == 2 ? 2 : 1;
  }
  c.Callsign = ReadText(store_, keys::kMyCall);
  c.RxChar = ReadText(store_, keys::kRxChar);
  c.Station = ReadStationKind(store_) == StationKind::kFldigi ? 1 : 0;
  c.FldigiAddress = ReadText(store_, keys::kFldigiAddress);
  c.FldigiPort = ReadText(store_, keys::kFldigiPort);
  return c;
}

void OptionsFormModel::Apply(OptionsControls& c) {
  WriteText(store_, keys::kPath, c.Path);
  WriteText(store_, keys::kGmt, c.GMT);
  WriteText(store_, keys::kAux, c.AuxPath);
  for (int n = 0; n < 20; ++n)
    store_.WriteSetting(sections::kMacro, MacroKey(n), c.Macro[static_cast<std::size_t>(n)]);
  WriteText(store_, keys::kZone, c.TZone);
  WriteText(store_, keys::kFontName, c.sample.name);
  WriteText(store_, keys::kFontSize, NumberText(c.sample.size));
  WriteBool(store_, keys::kFontBold, c.sample.bold);
  WriteBool(store_, keys::kFontItalic, c.sample.italic);
  WriteBool(store_, keys::kFontStrikethru, c.sample.strikethru);
  WriteBool(store_, keys::kFontUnderline, c.sample.underline);
  WriteLong(store_, keys::kFontColor, static_cast<long>(c.sample.color));
  WriteLong(store_, keys::kBackColor, static_cast<long>(c.sample.back_color));
  host_.SetRegFont();
  WriteText(store_, keys::kLDelay, c.LDelay);
  WriteBool(store_, keys::kSavePos, Checked(c.checks[1]));
  host_.SetElapsedTime(Checked(c.checks[2]));
  WriteBool(store_, keys::kTod, Checked(c.checks[2]));
  for (int box : {3, 4, 5, 6, 8, 9}) {
    for (const OnOffBox& b : kOnOffBoxes)
      if (b.box == box) WriteBool(store_, *b.key, Checked(c.checks[static_cast<std::size_t>(box)]));
  }
  WriteBool(store_, keys::kButtons, Checked(c.checks[10]));
  host_.Buttons(Checked(c.checks[10]));
  WriteBool(store_, keys::kWordBk, Checked(c.checks[11]));
  WriteBox(store_, keys::kMpal, c.checks[12]);
  host_.SetPaletteAutoShow(Checked(c.checks[12]));
  if (Checked(c.checks[13])) {
    WriteText(store_, keys::kCspal, "1");
    WriteText(store_, keys::kCallPal, "1");
    host_.SetCallsignPaletteMode();
  } else {
    WriteText(store_, keys::kCspal, "0");
  }
  WriteBox(store_, keys::kLpal, c.checks[14]);
  WriteBox(store_, keys::kCw1, c.checks[15]);
  // The rest of Apply, once positions are cleared, goes on whatever fails.
  const bool clearing = Checked(c.checks[7]);
  const auto step = [&](auto&& f) {
    if (!clearing) return f();
    try {
      f();
    } catch (const std::exception&) {
    }
  };
  if (clearing) {
    c.checks[7] = 0;
    step([&] { store_.DeleteSection(sections::kWin); });
    step([&] {
      if (host_.Confirm(kClearPositionsText)) host_.SetNoPosSave();
    });
  }
  step([&] {
    host_.SetMyCall(c.Callsign);
    WriteText(store_, keys::kMyCall, c.Callsign);
  });
  step([&] { WriteText(store_, keys::kRxChar, c.RxChar); });
  // The main window changes stations, if need be, once the dialog has closed.
  step([&] {
    WriteText(store_, keys::kStation, c.Station == 1 ? "fldigi" : keys::kStation.def);
    WriteText(store_, keys::kFldigiAddress, c.FldigiAddress);
    WriteText(store_, keys::kFldigiPort, c.FldigiPort);
  });
}

bool GmtKeyAllowed(char c, int caret) {
  const auto u = static_cast<unsigned char>(c);
  if (u < 32) return true;
  if (c == '-' || c == '+') return caret == 0;
  return c >= '0' && c <= '9';
}

bool GmtTextValid(const std::string& text) {
  try {
    const double value = ParseNumber(text);
    // Converted as the box's own language does: rounded, within 16 bits.
    return value >= -32768.5 && value < 32767.5;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace qsopad
