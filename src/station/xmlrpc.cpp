#include "station/xmlrpc.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "common/error.h"

namespace qsopad {

namespace {

const char* TypeName(XmlRpcValue::Type type) {
  switch (type) {
    case XmlRpcValue::Type::kNil: return "nil";
    case XmlRpcValue::Type::kInt: return "int";
    case XmlRpcValue::Type::kBool: return "boolean";
    case XmlRpcValue::Type::kDouble: return "double";
    case XmlRpcValue::Type::kString: return "string";
    case XmlRpcValue::Type::kBytes: return "base64";
    case XmlRpcValue::Type::kArray: return "array";
    case XmlRpcValue::Type::kStruct: return "struct";
  }
  return "?";
}

// At most 40 bytes of `bytes`, quoted, the unprintable ones as \xNN.
std::string Quote(std::string_view bytes) {
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size() && i < 40; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c >= 32 && c < 127 && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out + (bytes.size() > 40 ? "\"..." : "\"");
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  for (char c : bytes) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out += c;
    }
  }
}

void AppendValue(std::string& out, const XmlRpcValue& value) {
  out += "<value>";
  switch (value.type()) {
    case XmlRpcValue::Type::kNil:
      out += "<nil/>";
      break;
    case XmlRpcValue::Type::kInt:
      out += "<i4>" + std::to_string(value.AsInt()) + "</i4>";
      break;
    case XmlRpcValue::Type::kBool:
      out += value.AsBool() ? "<boolean>1</boolean>" : "<boolean>0</boolean>";
      break;
    case XmlRpcValue::Type::kDouble: {
      const double d = value.AsDouble();
      if (!std::isfinite(d)) throw Error("XML-RPC has no double " + std::to_string(d));
      char buffer[400];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::fixed).ptr;
      out += "<double>" + std::string(buffer, end) + "</double>";
      break;
    }
    case XmlRpcValue::Type::kString:
      if (value.AsString().find('\0') != std::string::npos)
        throw Error("a NUL byte in the XML-RPC string " + Quote(value.AsString()));
      out += "<string>";
      AppendEscaped(out, value.AsString());
      out += "</string>";
      break;
    case XmlRpcValue::Type::kBytes:
      out += "<base64>" + Base64Encode(value.AsBytes()) + "</base64>";
      break;
    case XmlRpcValue::Type::kArray:
      out += "<array><data>";
      for (const XmlRpcValue& item : value.AsArray()) AppendValue(out, item);
      out += "</data></array>";
      break;
    case XmlRpcValue::Type::kStruct:
      out += "<struct>";
      for (std::size_t i = 0; i < value.MemberCount(); ++i) {
        out += "<member><name>";
        AppendEscaped(out, value.MemberName(i));
        out += "</name>";
        AppendValue(out, value.MemberValue(i));
        out += "</member>";
      }
      out += "</struct>";
      break;
  }
  out += "</value>";
}

// A reader over one answer. Positions in messages are byte offsets into the body.
class AnswerReader {
 public:
  explicit AnswerReader(std::string_view text) : text_(text) {}

  XmlRpcAnswer Read() {
    if (text_.size() > kXmlRpcMaxAnswer)
      throw Error("XML-RPC answer of " + std::to_string(text_.size()) + " bytes: more than " +
                  std::to_string(kXmlRpcMaxAnswer));
    SkipMisc();
    ExpectOpen("methodResponse");
    XmlRpcAnswer answer;
    const Tag body = NextTag();
    if (body.name == "params" && !body.closing) {
      if (!body.empty) {
        const Tag param = NextTag();
        if (param.name == "param" && !param.closing && !param.empty) {
          answer.value = ReadValue(NextTag(), 1);
          ExpectClose("param");
          ExpectClose("params");
        } else if (!(param.name == "params" && param.closing)) {
          Fail("<param> or </params> wanted, not " + param.Show());
        }
      }
    } else if (body.name == "fault" && !body.closing && !body.empty) {
      answer.fault = ToFault(ReadValue(NextTag(), 1));
      ExpectClose("fault");
    } else {
      Fail("<params> or <fault> wanted, not " + body.Show());
    }
    ExpectClose("methodResponse");
    SkipMisc();
    if (pos_ != text_.size()) Fail("more after </methodResponse>");
    return answer;
  }

 private:
  struct Tag {
    std::string_view name;
    bool closing = false, empty = false;
    std::string Show() const {
      std::string out(closing ? "</" : "<");
      out.append(name);
      return out.append(empty ? "/>" : ">");
    }
  };

  [[noreturn]] void Fail(const std::string& what) const {
    throw Error("malformed XML-RPC answer: " + what + " at byte " + std::to_string(pos_));
  }

  bool At(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }

  void SkipPast(std::string_view end, const char* what) {
    const std::size_t at = text_.find(end, pos_);
    if (at == std::string_view::npos) Fail(std::string("unterminated ") + what);
    pos_ = at + end.size();
  }

  // Comments, processing instructions (the XML declaration) and white space.
  void SkipMisc() {
    for (;;) {
      while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
      if (At("<!--")) {
        SkipPast("-->", "comment");
      } else if (At("<?")) {
        SkipPast("?>", "processing instruction");
      } else if (At("<!")) {
        Fail("DOCTYPE, CDATA and other declarations are not accepted");
      } else {
        return;
      }
    }
  }

  // The next tag; only white space and comments may stand before it.
  Tag NextTag() {
    SkipMisc();
    if (pos_ >= text_.size()) Fail("the answer ends early");
    if (text_[pos_] != '<') Fail("text " + Quote(text_.substr(pos_)) + " where a tag belongs");
    return ReadTag();
  }

  // At '<'.
  Tag ReadTag() {
    ++pos_;
    Tag tag;
    if (pos_ < text_.size() && text_[pos_] == '/') tag.closing = true, ++pos_;
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !IsSpace(text_[pos_]) && text_[pos_] != '>' && text_[pos_] != '/' &&
           text_[pos_] != '<')
      ++pos_;
    tag.name = text_.substr(start, pos_ - start);
    if (tag.name.empty()) Fail("a tag without a name");
    // Attributes are allowed and ignored; quoted values may hold '>'.
    for (;;) {
      if (pos_ >= text_.size()) Fail("unterminated tag <" + std::string(tag.name));
      const char c = text_[pos_];
      if (c == '"' || c == '\'') {
        const std::size_t end = text_.find(c, pos_ + 1);
        if (end == std::string_view::npos) Fail("unterminated attribute value");
        pos_ = end + 1;
      } else if (c == '<') {
        Fail("'<' inside the tag <" + std::string(tag.name));
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '>') {
        if (tag.closing) Fail("a closing tag that closes itself");
        tag.empty = true;
        pos_ += 2;
        return tag;
      } else if (c == '>') {
        ++pos_;
        return tag;
      } else {
        ++pos_;
      }
    }
  }

  void ExpectOpen(std::string_view name) {
    const Tag tag = NextTag();
    if (tag.name != name || tag.closing || tag.empty)
      Fail(Tag{name}.Show() + " wanted, not " + tag.Show());
  }
  void ExpectClose(std::string_view name) {
    const Tag tag = NextTag();
    if (tag.name != name || !tag.closing) Fail(Tag{name, true}.Show() + " wanted, not " + tag.Show());
  }

  // Character data up to the next tag, entities decoded; comments inside are dropped.
  std::string ReadText() {
    std::string out;
    for (;;) {
      const std::size_t stop = text_.find_first_of("<&", pos_);
      if (stop == std::string_view::npos) Fail("the answer ends inside text");
      out.append(text_.substr(pos_, stop - pos_));
      pos_ = stop;
      if (text_[pos_] == '&') {
        ReadEntity(out);
      } else if (At("<!--")) {
        SkipPast("-->", "comment");
      } else if (At("<!")) {
        Fail("CDATA is not accepted");
      } else {
        return out;
      }
    }
  }

  // At '&'.
  void ReadEntity(std::string& out) {
    const std::size_t end = text_.find(';', pos_);
    if (end == std::string_view::npos || end - pos_ > 12) Fail("'&' that starts no entity");
    const std::string_view name = text_.substr(pos_ + 1, end - pos_ - 1);
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kNamed) {
      if (name == entity) {
        out += c;
        pos_ = end + 1;
        return;
      }
    }
    if (name.size() < 2 || name[0] != '#') Fail("unknown entity &" + std::string(name) + ";");
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t cp = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() || cp == 0 ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      Fail("bad character reference &" + std::string(name) + ";");
    AppendUtf8(out, cp);
    pos_ = end + 1;
  }

  // The text of an element whose open tag was read, up to and with its closing tag.
  std::string ReadContent(const Tag& open) {
    if (open.empty) return {};
    std::string text = ReadText();
    ExpectClose(open.name);
    return text;
  }

  XmlRpcValue ReadValue(const Tag& open, int depth) {
    if (open.name != "value" || open.closing) Fail("<value> wanted, not " + open.Show());
    if (depth > kXmlRpcMaxDepth) Fail("values nested deeper than " + std::to_string(kXmlRpcMaxDepth));
    if (open.empty) return XmlRpcValue::String("");
    const std::string text = ReadText();
    const Tag inner = ReadTag();
    if (inner.closing) {
      if (inner.name != "value") Fail("</value> wanted, not " + inner.Show());
      return XmlRpcValue::String(text);  // a value without a type is a string
    }
    if (!Trim(text).empty()) Fail("text " + Quote(text) + " beside " + inner.Show());
    XmlRpcValue value = ReadTyped(inner, depth);
    ExpectClose("value");
    return value;
  }

  XmlRpcValue ReadTyped(const Tag& open, int depth) {
    const std::string_view type = open.name;
    if (type == "i4" || type == "int") return XmlRpcValue::Int(ParseInt(ReadContent(open)));
    if (type == "boolean") {
      const std::string text = ReadContent(open);
      const std::string_view t = Trim(text);
      if (t != "0" && t != "1") Fail("boolean " + Quote(text));
      return XmlRpcValue::Bool(t == "1");
    }
    if (type == "double") return XmlRpcValue::Double(ParseDouble(ReadContent(open)));
    if (type == "string") return XmlRpcValue::String(ReadContent(open));
    if (type == "base64") {
      const std::string text = ReadContent(open);
      try {
        return XmlRpcValue::Bytes(Base64Decode(text));
      } catch (const Error& e) {
        Fail(e.what());
      }
    }
    if (type == "nil") {
      if (!ReadContent(open).empty()) Fail("text inside <nil>");
      return {};
    }
    if (type == "array" && !open.empty) {
      ExpectOpen("data");
      std::vector<XmlRpcValue> items;
      for (Tag tag = NextTag(); !(tag.closing && tag.name == "data"); tag = NextTag())
        items.push_back(ReadValue(tag, depth + 1));
      ExpectClose("array");
      return XmlRpcValue::Array(std::move(items));
    }
    if (type == "struct" && !open.empty) {
      std::vector<std::pair<std::string, XmlRpcValue>> members;
      for (Tag tag = NextTag(); !(tag.closing && tag.name == "struct"); tag = NextTag()) {
        if (tag.name != "member" || tag.closing || tag.empty) Fail("<member> wanted, not " + tag.Show());
        const Tag name_tag = NextTag();
        if (name_tag.name != "name" || name_tag.closing) Fail("<name> wanted, not " + name_tag.Show());
        std::string name = ReadContent(name_tag);
        XmlRpcValue value = ReadValue(NextTag(), depth + 1);
        ExpectClose("member");
        members.emplace_back(std::move(name), std::move(value));
      }
      return XmlRpcValue::Struct(std::move(members));
    }
    Fail("unknown value type " + open.Show());
  }

  std::int32_t ParseInt(const std::string& text) {
    std::string_view t = Trim(text);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    std::int64_t n = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), n);
    if (t.empty() || ec != std::errc() || ptr != t.data() + t.size() || n < INT32_MIN || n > INT32_MAX)
      Fail("int " + Quote(text));
    return static_cast<std::int32_t>(n);
  }

  double ParseDouble(const std::string& text) {
    std::string_view t = Trim(text);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    double d = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (t.empty() || ec != std::errc() || ptr != t.data() + t.size() || !std::isfinite(d))
      Fail("double " + Quote(text));
    return d;
  }

  XmlRpcFault ToFault(const XmlRpcValue& value) {
    const XmlRpcValue* code = value.type() == XmlRpcValue::Type::kStruct ? value.Member("faultCode") : nullptr;
    const XmlRpcValue* text = code ? value.Member("faultString") : nullptr;
    if (!code || !text || code->type() != XmlRpcValue::Type::kInt || text->type() != XmlRpcValue::Type::kString)
      Fail("a fault without faultCode and faultString: " + value.Describe());
    return {code->AsInt(), text->AsString()};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

XmlRpcValue XmlRpcValue::Int(std::int32_t value) {
  XmlRpcValue v;
  v.type_ = Type::kInt, v.int_ = value;
  return v;
}
XmlRpcValue XmlRpcValue::Bool(bool value) {
  XmlRpcValue v;
  v.type_ = Type::kBool, v.int_ = value ? 1 : 0;
  return v;
}
XmlRpcValue XmlRpcValue::Double(double value) {
  XmlRpcValue v;
  v.type_ = Type::kDouble, v.double_ = value;
  return v;
}
XmlRpcValue XmlRpcValue::String(std::string bytes) {
  XmlRpcValue v;
  v.type_ = Type::kString, v.bytes_ = std::move(bytes);
  return v;
}
XmlRpcValue XmlRpcValue::Bytes(std::string bytes) {
  XmlRpcValue v;
  v.type_ = Type::kBytes, v.bytes_ = std::move(bytes);
  return v;
}
XmlRpcValue XmlRpcValue::Array(std::vector<XmlRpcValue> items) {
  XmlRpcValue v;
  v.type_ = Type::kArray, v.items_ = std::move(items);
  return v;
}
XmlRpcValue XmlRpcValue::Struct(std::vector<std::pair<std::string, XmlRpcValue>> members) {
  XmlRpcValue v;
  v.type_ = Type::kStruct;
  for (auto& [name, value] : members) {
    v.names_.push_back(std::move(name));
    v.items_.push_back(std::move(value));
  }
  return v;
}

namespace {
[[noreturn]] void WrongType(const char* wanted, const XmlRpcValue& value) {
  throw Error(std::string("XML-RPC ") + wanted + " wanted, not " + value.Describe());
}
}  // namespace

std::int32_t XmlRpcValue::AsInt() const {
  if (type_ != Type::kInt) WrongType("int", *this);
  return int_;
}
bool XmlRpcValue::AsBool() const {
  if (type_ != Type::kBool && !(type_ == Type::kInt && (int_ == 0 || int_ == 1))) WrongType("boolean", *this);
  return int_ != 0;
}
double XmlRpcValue::AsDouble() const {
  if (type_ == Type::kInt) return int_;
  if (type_ != Type::kDouble) WrongType("double", *this);
  return double_;
}
const std::string& XmlRpcValue::AsString() const {
  if (type_ != Type::kString) WrongType("string", *this);
  return bytes_;
}
const std::string& XmlRpcValue::AsBytes() const {
  if (type_ != Type::kBytes) WrongType("base64", *this);
  return bytes_;
}
const std::vector<XmlRpcValue>& XmlRpcValue::AsArray() const {
  if (type_ != Type::kArray) WrongType("array", *this);
  return items_;
}
const XmlRpcValue* XmlRpcValue::Member(std::string_view name) const {
  if (type_ != Type::kStruct) WrongType("struct", *this);
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return &items_[i];
  return nullptr;
}
std::size_t XmlRpcValue::MemberCount() const {
  if (type_ != Type::kStruct) WrongType("struct", *this);
  return names_.size();
}
const std::string& XmlRpcValue::MemberName(std::size_t i) const {
  if (type_ != Type::kStruct) WrongType("struct", *this);
  return names_.at(i);
}
const XmlRpcValue& XmlRpcValue::MemberValue(std::size_t i) const {
  if (type_ != Type::kStruct) WrongType("struct", *this);
  return items_.at(i);
}

std::string XmlRpcValue::Describe() const {
  switch (type_) {
    case Type::kInt: return "int " + std::to_string(int_);
    case Type::kBool: return int_ ? "boolean 1" : "boolean 0";
    case Type::kDouble: return "double " + std::to_string(double_);
    case Type::kString: return "string " + Quote(bytes_);
    case Type::kBytes: return "base64 of " + std::to_string(bytes_.size()) + " bytes";
    case Type::kArray: return "array of " + std::to_string(items_.size());
    case Type::kStruct: return "struct of " + std::to_string(items_.size());
    case Type::kNil: break;
  }
  return TypeName(type_);
}

std::string XmlRpcCallBody(std::string_view method, const std::vector<XmlRpcValue>& params) {
  const bool plain = !method.empty() && method.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789_.:/") == std::string_view::npos;
  if (!plain) throw Error("not an XML-RPC method name: " + Quote(method));
  std::string out = "<?xml version=\"1.0\"?>\n<methodCall><methodName>";
  out.append(method);
  out += "</methodName><params>";
  for (const XmlRpcValue& param : params) {
    out += "<param>";
    AppendValue(out, param);
    out += "</param>";
  }
  out += "</params></methodCall>\n";
  return out;
}

XmlRpcAnswer ReadXmlRpcAnswer(std::string_view body) { return AnswerReader(body).Read(); }

namespace {
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0);
    for (std::size_t k = 0; k < 4; ++k)
      out += k <= n ? kBase64[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (!IsSpace(c)) digits += c;
  if (digits.size() % 4 != 0)
    throw Error("base64 of " + std::to_string(digits.size()) + " characters: not whole groups of 4");
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 4) {
    const bool last = i + 4 == digits.size();
    std::uint32_t group = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = digits[i + k];
      const char* at = c == '\0' ? nullptr : std::char_traits<char>::find(kBase64, 64, c);
      if (c == '=' && last && k >= 2 && (k == 3 || digits[i + 3] == '=')) {
        ++padding;
      } else if (!at || padding > 0) {
        throw Error("base64: unexpected " + Quote(std::string_view(&digits[i + k], 1)) + " at character " +
                    std::to_string(i + k));
      }
      group = (group << 6) | (at ? static_cast<std::uint32_t>(at - kBase64) : 0);
    }
    out += static_cast<char>(group >> 16);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

}  // namespace qsopad
