// Names of the indexed keys of the settings catalogue.
#include "options/settings_catalogue.h"

namespace qsopad {

namespace {

std::string Indexed(std::string_view prefix, int index) {
  std::string key(prefix);
  key += std::to_string(index);
  return key;
}

}  // namespace

std::string MacroKey(int index) { return std::to_string(index); }
std::string AdifEnKey(int index) { return Indexed("En", index); }
std::string AdifTagKey(int index) { return Indexed("Tag", index); }
std::string AdifValKey(int index) { return Indexed("Val", index); }

std::string PlacementKey(std::string_view prefix, std::string_view what) {
  std::string key(prefix);
  key += what;
  return key;
}

}  // namespace qsopad
