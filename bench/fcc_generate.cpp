// Writes a made-up FCC amateur download of realistic size for bench/fcc.sh: EN.dat,
// AM.dat and HD.dat with the current layouts' field counts (30, 18, 59), CR LF line ends
// and the mix of the real files: most call signs with one licence, some with older
// cancelled or expired ones, clubs, PO boxes, ZIP+4 codes, a few Latin-1 names and a few
// rows with a "|" inside a value.
//
//   fcc_generate FOLDER [LICENCES]      (default 1,400,000 licences)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const char* const kSurnames[] = {"SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA", "MILLER", "DAVIS",
                                 "RODRIGUEZ", "MARTINEZ", "HERNANDEZ", "LOPEZ", "GONZALEZ", "WILSON", "ANDERSON",
                                 "THOMAS", "TAYLOR", "MOORE", "JACKSON", "MARTIN", "LEE", "PEREZ", "THOMPSON",
                                 "WHITE", "Harris", "Sanchez", "Clark", "Ramirez", "Lewis", "Robinson", "M\xDCLLER"};
const char* const kGiven[] = {"JAMES", "MARY", "ROBERT", "PATRICIA", "JOHN", "JENNIFER", "MICHAEL", "LINDA",
                              "DAVID", "ELIZABETH", "WILLIAM", "BARBARA", "RICHARD", "SUSAN", "JOSEPH", "JESSICA",
                              "Thomas", "Sarah", "Charles", "Karen", "Zoe", "Adam", "Matthew", "J\xD6RG"};
const char* const kCities[] = {"SPRINGFIELD", "RIVERSIDE", "FRANKLIN", "GREENVILLE", "BRISTOL", "CLINTON",
                               "FAIRVIEW", "SALEM", "MADISON", "GEORGETOWN", "Littleton", "Montara", "Lawrence"};
const char* const kStates[] = {"AL", "AZ", "CA", "CO", "FL", "GA", "IL", "IN", "KS", "MA", "MI", "MN",
                               "NC", "NE", "NJ", "NY", "OH", "OR", "PA", "TX", "VA", "WA", "WI"};
const char* const kStreets[] = {"MAIN ST", "OAK AVE", "Pine Rd", "ELM ST", "W Canal Cir Unit 121", "MAPLE DR",
                                "George Williams Way Apt. F9", "CEDAR LN", "LAKE VIEW BLVD"};
const char kClasses[] = "EEEGGGTTTTTTAP";

template <typename T, std::size_t N>
const T& Pick(std::mt19937_64& rng, const T (&list)[N]) {
  return list[rng() % N];
}

// The n-th of a fixed permutation of US amateur call signs: prefix (K, N, W, or AA-AL,
// KA-KZ, NA-NZ, WA-WZ), digit, one to three letters.
std::string CallSign(std::uint64_t n) {
  static const std::vector<std::string> prefixes = [] {
    std::vector<std::string> p = {"K", "N", "W"};
    for (char a : std::string("KNW"))
      for (char b = 'A'; b <= 'Z'; ++b) p.push_back(std::string{a, b});
    for (char b = 'A'; b <= 'L'; ++b) p.push_back(std::string{'A', b});
    return p;
  }();
  const std::uint64_t suffixes = 26 + 26 * 26 + 26 * 26 * 26;
  const std::uint64_t space = prefixes.size() * 10 * suffixes;
  std::uint64_t k = (n * 2654435761ull) % space;  // the multiplier is prime to the space's size
  std::string call = prefixes[k % prefixes.size()];
  k /= prefixes.size();
  call += static_cast<char>('0' + k % 10);
  k /= 10;
  const int letters = k < 26 ? 1 : k < 26 + 676 ? 2 : 3;
  k -= letters == 1 ? 0 : letters == 2 ? 26 : 26 + 676;
  std::string suffix;
  for (int i = 0; i < letters; ++i, k /= 26) suffix.insert(suffix.begin(), static_cast<char>('A' + k % 26));
  return call + suffix;
}

std::string Date(std::mt19937_64& rng, int from_year, int to_year) {
  char text[40];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", static_cast<int>(1 + rng() % 12), static_cast<int>(1 + rng() % 28),
                from_year + static_cast<int>(rng() % (to_year - from_year + 1)));
  return text;
}

class Out {
 public:
  explicit Out(const std::string& path) : file_(std::fopen(path.c_str(), "wb")), path_(path) {
    if (!file_) Die("cannot create");
    buffer_.reserve(1 << 22);
  }
  ~Out() {
    Flush();
    if (std::fclose(file_) != 0) Die("cannot write");
  }
  // Appends the fields joined by "|" and a CR LF.
  void Row(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i) buffer_ += '|';
      buffer_ += fields[i];
    }
    buffer_ += "\r\n";
    if (buffer_.size() > (1u << 22)) Flush();
  }

 private:
  void Flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) Die("cannot write");
    buffer_.clear();
  }
  [[noreturn]] void Die(const char* what) {
    std::fprintf(stderr, "fcc_generate: %s %s\n", what, path_.c_str());
    std::exit(2);
  }
  std::FILE* file_;
  std::string path_;
  std::string buffer_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fcc_generate FOLDER [LICENCES]\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::uint64_t licences = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1400000;
  std::mt19937_64 rng(31);
  Out en(folder + "/EN.dat"), am(folder + "/AM.dat"), hd(folder + "/HD.dat");
  std::uint64_t call_number = 0;
  std::string call;
  for (std::uint64_t i = 0; i < licences; ++i) {
    // One licence in eight is an older licence of the call sign before it.
    const bool older = i > 0 && rng() % 8 == 0;
    if (!older) call = CallSign(call_number++);
    const std::string usi = std::to_string(100000 + i * 3 + rng() % 3);
    const bool club = rng() % 40 == 0;
    const std::string surname = Pick(rng, kSurnames), given = Pick(rng, kGiven);
    const std::string initial = rng() % 2 ? std::string(1, static_cast<char>('A' + rng() % 26)) : "";
    const std::string entity = club ? std::string(Pick(rng, kCities)) + " AMATEUR RADIO CLUB, INC."
                                    : surname + ", " + given + (initial.empty() ? "" : " " + initial);
    const bool box = rng() % 10 == 0;
    std::string street = box ? "" : std::to_string(1 + rng() % 9999) + " " + Pick(rng, kStreets);
    // Now and then a "|" inside a value, as the real files have.
    if (rng() % 100000 == 0) street += " | REAR";
    std::string zip = std::to_string(10000 + rng() % 89999);
    if (rng() % 3 == 0) zip += std::to_string(1000 + rng() % 8999);
    char frn[16];
    std::snprintf(frn, sizeof frn, "%010llu", static_cast<unsigned long long>(rng() % 10000000000ull));
    char licensee[16];
    std::snprintf(licensee, sizeof licensee, "L%08llu", static_cast<unsigned long long>(rng() % 100000000ull));
    en.Row({"EN", usi, "", "", call, "L", licensee, entity, club ? "" : given, club ? "" : initial,
            club ? "" : surname, "", "", "", "", street, Pick(rng, kCities), Pick(rng, kStates), zip,
            box ? std::to_string(1 + rng() % 99999) : "", rng() % 20 == 0 ? "c/o " + given + " " + surname : "",
            "000", frn, club ? "B" : "I", "", "", "", "", "", ""});
    am.Row({"AM", usi, "", "", call, club ? "" : std::string(1, Pick(rng, kClasses)), "D",
            std::to_string(1 + rng() % 10), club ? CallSign(call_number + 7000000) : "", club ? "Y" : "", "", "",
            "", rng() % 5 == 0 ? "A" : "", "", rng() % 5 == 0 ? CallSign(call_number + 9000000) : "",
            rng() % 5 == 0 ? "T" : "", club ? surname + ", " + given : ""});
    const char status = older ? (rng() % 2 ? 'C' : 'E') : (rng() % 10 == 0 ? 'E' : 'A');
    const std::string grant = Date(rng, older ? 1995 : 2010, older ? 2009 : 2025);
    std::vector<std::string> h(59);
    h[0] = "HD";
    h[1] = usi;
    h[2] = "00" + std::to_string(10000000 + rng() % 89999999);
    h[4] = call;
    h[5] = std::string(1, status);
    h[6] = rng() % 10 == 0 ? "HV" : "HA";
    h[7] = grant;
    h[8] = Date(rng, older ? 2005 : 2020, older ? 2019 : 2035);
    h[9] = status == 'A' ? "" : Date(rng, 2005, 2024);
    h[18] = "N";
    h[28] = "N";
    h[30] = club ? "" : given;
    h[31] = initial;
    h[32] = club ? "" : surname;
    h[42] = grant;
    h[43] = Date(rng, 2010, 2025);
    hd.Row(h);
  }
  std::printf("%llu licences, %llu call signs in %s\n", static_cast<unsigned long long>(licences),
              static_cast<unsigned long long>(call_number), folder.c_str());
  return 0;
}
