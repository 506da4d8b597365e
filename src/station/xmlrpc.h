// XML-RPC values, the request body of a call, and a reader for answers. The reader is
// small on purpose: it knows the value types a modem program answers with, treats every
// answer as untrusted (bounded size and nesting, the five named entities and numeric
// character references only, no DOCTYPE) and throws Error naming what was wrong.
//
// Text is carried as bytes, unchanged both ways: fldigi's server (XmlRpc++ 0.8) decodes
// only the five named entities and passes every other byte through, so a numeric character
// reference in a request would reach it literally. Its text methods take and give UTF-8
// (see cp1252.h for the conversion of the program's single-byte text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qsopad {

class XmlRpcValue {
 public:
  enum class Type { kNil, kInt, kBool, kDouble, kString, kBytes, kArray, kStruct };

  XmlRpcValue() = default;  // nil
  static XmlRpcValue Int(std::int32_t value);
  static XmlRpcValue Bool(bool value);
  static XmlRpcValue Double(double value);
  static XmlRpcValue String(std::string bytes);
  static XmlRpcValue Bytes(std::string bytes);  // base64 on the wire
  static XmlRpcValue Array(std::vector<XmlRpcValue> items);
  static XmlRpcValue Struct(std::vector<std::pair<std::string, XmlRpcValue>> members);

  Type type() const { return type_; }
  // Each throws Error naming the wanted and the actual type.
  std::int32_t AsInt() const;
  // A boolean, or an int 0 or 1: fldigi answers main.get_afc with an int.
  bool AsBool() const;
  double AsDouble() const;  // a double or an int
  const std::string& AsString() const;
  const std::string& AsBytes() const;
  const std::vector<XmlRpcValue>& AsArray() const;
  // A struct's member, nullptr when it has none of that name; throws for a non-struct.
  const XmlRpcValue* Member(std::string_view name) const;
  std::size_t MemberCount() const;
  const std::string& MemberName(std::size_t i) const;
  const XmlRpcValue& MemberValue(std::size_t i) const;
  // Short, for messages: `int 5`, `string "BPSK31"`, `array of 3`.
  std::string Describe() const;

  friend bool operator==(const XmlRpcValue&, const XmlRpcValue&) = default;

 private:
  Type type_ = Type::kNil;
  std::int32_t int_ = 0;
  double double_ = 0;
  std::string bytes_;                // kString, kBytes
  std::vector<XmlRpcValue> items_;   // kArray; kStruct: the members' values
  std::vector<std::string> names_;   // kStruct: the members' names
};

struct XmlRpcFault {
  std::int32_t code = 0;
  std::string text;
  friend bool operator==(const XmlRpcFault&, const XmlRpcFault&) = default;
};

// An answer is a value or a fault.
struct XmlRpcAnswer {
  XmlRpcValue value;
  std::optional<XmlRpcFault> fault;
};

// The most an answer may hold, and how deeply its values may nest.
inline constexpr std::size_t kXmlRpcMaxAnswer = 1 << 20;
inline constexpr int kXmlRpcMaxDepth = 32;

// The body of an HTTP POST calling `method`. Throws Error for a method name that is not
// a plain name, a NUL byte in a string and a double that is not finite.
std::string XmlRpcCallBody(std::string_view method, const std::vector<XmlRpcValue>& params);

// Reads a methodResponse. Throws Error, naming what and where, for anything else.
XmlRpcAnswer ReadXmlRpcAnswer(std::string_view body);

std::string Base64Encode(std::string_view bytes);
// Skips white space (fldigi breaks lines every 72 characters); throws Error for anything
// else that is not base64.
std::string Base64Decode(std::string_view text);

}  // namespace qsopad
