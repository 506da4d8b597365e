// Looking a call sign up: the lookup source's grammar, the predefined sources, the call
// sign as it is looked up and as it is appended to a web address, and the dispatch between
// the web and the four local sources.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qsopad {

class SettingsStore;

enum class LookupKind { kWeb, kQrz, kFly, kBuck, kFcc };

// What a lookup source says: a web address prefix, or a local source and its parameter
// (the drive of the CD-ROM libraries, the path of the FCC data file).
struct LookupSource {
  LookupKind kind = LookupKind::kWeb;
  std::string parameter;
  friend bool operator==(const LookupSource&, const LookupSource&) = default;
};

// Tests the leading characters, case counting, in the order "*QRZ", "*FLY", "*BUCK",
// "*FCC"; anything else is a web address prefix. A parameter is everything after the first
// "=", spaces included.
LookupSource ParseLookupSource(std::string_view source);

// The lookup source dialog's list, in its order.
struct PredefinedSource {
  std::string_view label;
  std::string_view source;
};
const std::vector<PredefinedSource>& PredefinedSources();
// The source used when none is stored: the first predefined entry.
std::string_view DefaultLookupSource();

// The call sign with its zeros: a slashed zero (character 216, as the main window shows a
// zero with option "Zero" on) becomes "0". No call sign holds the letter itself, and a
// lookup, the clipboard or another program wants the zero.
std::string PlainZeros(std::string_view callsign);

// The call sign as it is looked up: what stands before the first "/", with its zeros
// (PlainZeros), otherwise unchanged.
std::string LookupCall(std::string_view callsign);

// The call sign as it is appended to a web address: every byte but letters, digits, "-",
// ".", "_" and "~" percent-encoded, so that a call sign set by another program is one
// query value and nothing more.
std::string EncodeForAddress(std::string_view call);

// The four local sources. Each returns its result text (one beginning with "{" means not
// found; "Error!" a failure it has reported) and, when `fill` is set and the call is found,
// the partner's first name in `name`.
class LocalLookups {
 public:
  virtual ~LocalLookups() = default;
  virtual std::string QRZLookup(const std::string& call, std::string& name, bool fill) = 0;
  virtual std::string FLYLookup(const std::string& call, std::string& name, bool fill,
                                const std::string& drive) = 0;
  virtual std::string BuckLookup(const std::string& call, std::string& name, bool fill,
                                 const std::string& drive) = 0;
  virtual std::string FCCLookup(const std::string& call, std::string& name, bool fill,
                                const std::string& path) = 0;
};

// What a lookup does beyond the call sign window's boxes.
class LookupHost {
 public:
  virtual ~LookupHost() = default;
  // The shell's "open" of a web address, the call sign window as owner; its result is not
  // used.
  virtual void OpenAddress(const std::string& address) = 0;
  // The result window: takes the text, is shown modeless without an owner, shows it.
  virtual void ShowLookupResult(const std::string& text) = 0;
  // The focus back into the call sign window's call sign box.
  virtual void FocusCallsign() = 0;
};

// Looks up `callsign` (the call sign box's text) with the stored source. With
// `fill_in_name` ("&Fill in name" checked) and an empty `name`, a local source's name
// replaces `name`.
void DoLookup(SettingsStore& store, LocalLookups& lookups, LookupHost& host,
              const std::string& callsign, std::string& name, bool fill_in_name);

// The lookup source dialog: the stored source to edit, and OK's store.
std::string StoredLookupSource(const SettingsStore& store);
void StoreLookupSource(SettingsStore& store, const std::string& source);

// The result window's title for a result text.
std::string LookupResultTitle(std::string_view text);

}  // namespace qsopad
