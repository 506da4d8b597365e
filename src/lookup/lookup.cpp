#include "lookup/lookup.h"

#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// Everything after the first "=", or `otherwise` when there is none.
std::string AfterEquals(std::string_view source, std::string_view otherwise) {
  const std::size_t eq = source.find('=');
  return std::string(eq == std::string_view::npos ? otherwise : source.substr(eq + 1));
}

constexpr std::string_view kDefaultDrive = "d:\\";

}  // namespace

LookupSource ParseLookupSource(std::string_view source) {
  if (StartsWith(source, "*QRZ")) return {LookupKind::kQrz, {}};
  if (StartsWith(source, "*FLY")) return {LookupKind::kFly, AfterEquals(source, kDefaultDrive)};
  if (StartsWith(source, "*BUCK")) return {LookupKind::kBuck, AfterEquals(source, kDefaultDrive)};
  if (StartsWith(source, "*FCC")) return {LookupKind::kFcc, AfterEquals(source, source)};
  return {LookupKind::kWeb, std::string(source)};
}

const std::vector<PredefinedSource>& PredefinedSources() {
  // The web entries' hosts: each service's own site for the path it serves.
  static const std::vector<PredefinedSource> sources = {
      {"QRZ (Internet)", keys::kCsLookup.def},
      {"QRZ (CDROM)", "*QRZ"},
      {"Flying Horse (CDROM; requires RACCD32a.DLL) Set correct drive letter", "*FLY DRIVE=D:\\"},
      {"Buckmaster (CDROM; requires HAMCAL32.DLL) Set correct drive letter",
       "*BUCK DRIVE=D:\\HAM0\\"},
      {"WEBCB", "http://www.webcb.com/perl/lookup.pl?callsign="},
      {"FCC Database (Hard drive; requires indexing) Set correct path to file",
       "*FCC PATH=C:\\FCC\\APPL.DAT"},
      {"Austraila", "http://www.acma.gov.au/cgi-bin/licence_callsign?callsign="},
      {"Belgium", "http://www.uba.be/CGI-bin/HAM003CL.PGM?Callsign="},
      {"Canada",
       "http://www.rac.ca/cgi-bin/cgiwrap/rac/callbook?name=&address=&city=&postcode=&perpage="
       "10&callsign="},
      {"France", "http://www.ref-union.org/nomenclature/nomenclature.shtml?rtype=IND&req="},
  };
  return sources;
}

std::string_view DefaultLookupSource() { return keys::kCsLookup.def; }

std::string PlainZeros(std::string_view callsign) {
  constexpr unsigned char kSlashedZero = 216;
  std::string call(callsign);
  for (char& c : call)
    if (static_cast<unsigned char>(c) == kSlashedZero) c = '0';
  return call;
}

std::string LookupCall(std::string_view callsign) {
  return PlainZeros(callsign.substr(0, callsign.find('/')));
}

std::string EncodeForAddress(std::string_view call) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : call) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

void DoLookup(SettingsStore& store, LocalLookups& lookups, LookupHost& host,
              const std::string& callsign, std::string& name, bool fill_in_name) {
  const std::string call = LookupCall(callsign);
  const bool fill = fill_in_name && name.empty();
  const LookupSource source = ParseLookupSource(StoredLookupSource(store));
  if (source.kind == LookupKind::kWeb) {
    host.OpenAddress(source.parameter + EncodeForAddress(call));
    return;
  }
  std::string found;
  std::string text;
  switch (source.kind) {
    case LookupKind::kQrz: text = lookups.QRZLookup(call, found, fill); break;
    case LookupKind::kFly: text = lookups.FLYLookup(call, found, fill, source.parameter); break;
    case LookupKind::kBuck: text = lookups.BuckLookup(call, found, fill, source.parameter); break;
    case LookupKind::kFcc: text = lookups.FCCLookup(call, found, fill, source.parameter); break;
    case LookupKind::kWeb: break;
  }
  if (fill) name = found;
  host.ShowLookupResult(text);
  host.FocusCallsign();
}

std::string StoredLookupSource(const SettingsStore& store) {
  return ReadText(store, keys::kCsLookup);
}

void StoreLookupSource(SettingsStore& store, const std::string& source) {
  WriteText(store, keys::kCsLookup, source);
}

std::string LookupResultTitle(std::string_view text) {
  if (!text.empty() && text.front() == '{') return "Callsign Lookup";
  std::string title = "Callsign Lookup: ";
  const std::size_t space = text.find(' ');
  // A text without a space has no first word to show.
  if (space != std::string_view::npos) title += text.substr(0, space);
  return title;
}

}  // namespace qsopad
