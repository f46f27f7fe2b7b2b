#include "json.h"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <system_error>

namespace {

// Function-local so that they exist before any other file's static start-up
// code looks up a member.
const JsonValue& sharedNull() {
  static const JsonValue value;
  return value;
}

const std::string& sharedEmpty() {
  static const std::string value;
  return value;
}

constexpr int kMaxDepth = 200;
constexpr char kReplacement[] = "\xEF\xBF\xBD";

bool isWhitespace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// from_chars leaves the value untouched when the text is out of range, where
// a decimal-to-double conversion gives an infinity or zero. Which one follows
// from the decimal order of magnitude of the text.
double outOfRangeValue(std::string_view text) {
  size_t i = 0;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  long long order = 0;
  bool seenNonZero = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    if (text[i] != '0') seenNonZero = true;
    if (seenNonZero) ++order;
  }
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && isDigit(text[i]); ++i) {
      if (text[i] != '0') seenNonZero = true;
      if (!seenNonZero) --order;
    }
  }
  long long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    for (; i < text.size() && isDigit(text[i]); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }
  double magnitude = (seenNonZero && order + exponent > 0) ? HUGE_VAL : 0.0;
  return negative ? -magnitude : magnitude;
}

// Locale-independent, unlike strtod on a process that may change its locale.
double decimalToDouble(std::string_view text) {
  double value = 0.0;
  std::from_chars_result r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec == std::errc::result_out_of_range) return outOfRangeValue(text);
  if (r.ec != std::errc()) return 0.0;
  return value;
}

class Parser {
 public:
  explicit Parser(std::string_view input) : in_(input) {}

  bool document(JsonValue& out) {
    if (!value(out)) return false;
    skipWhitespace();
    if (!atEnd()) return fail("trailing data");
    return true;
  }

  const std::string& error() const { return error_; }

 private:
  std::string_view in_;
  size_t pos_ = 0;
  int depth_ = 0;
  std::string error_;

  bool atEnd() const { return pos_ >= in_.size(); }
  bool peek(char c) const { return pos_ < in_.size() && in_[pos_] == c; }
  bool startsWith(std::string_view word) const { return in_.substr(pos_, word.size()) == word; }

  void skipWhitespace() {
    while (pos_ < in_.size() && isWhitespace(in_[pos_])) ++pos_;
  }

  void skipDigits() {
    while (pos_ < in_.size() && isDigit(in_[pos_])) ++pos_;
  }

  bool fail(const char* message) {
    if (error_.empty()) error_ = std::string(message) + " at " + std::to_string(pos_);
    return false;
  }

  bool value(JsonValue& out) {
    if (++depth_ > kMaxDepth) return fail("too deep");
    skipWhitespace();
    if (atEnd()) return fail("unexpected end");
    if (!dispatch(out)) return false;
    --depth_;
    return true;
  }

  bool dispatch(JsonValue& out) {
    switch (in_[pos_]) {
      case '{':
        ++pos_;
        out.kind = JsonKind::Object;
        return object(out);
      case '[':
        ++pos_;
        out.kind = JsonKind::Array;
        return array(out);
      case '"':
        ++pos_;
        out.kind = JsonKind::String;
        return string(out.text);
      default:
        break;
    }
    if (startsWith("true") || startsWith("false")) {
      out.kind = JsonKind::Boolean;
      out.boolean = in_[pos_] == 't';
      pos_ += out.boolean ? 4 : 5;
      return true;
    }
    if (startsWith("null")) {
      pos_ += 4;
      return true;
    }
    return number(out);
  }

  bool number(JsonValue& out) {
    size_t start = pos_;
    if (peek('-')) ++pos_;
    size_t integerStart = pos_;
    skipDigits();
    if (pos_ == integerStart) return fail("bad value");
    if (peek('.')) {
      ++pos_;
      skipDigits();
    }
    if (peek('e') || peek('E')) {
      ++pos_;
      if (peek('+') || peek('-')) ++pos_;
      skipDigits();
    }
    out.kind = JsonKind::Number;
    out.numberText.assign(in_.substr(start, pos_ - start));
    out.number = decimalToDouble(out.numberText);
    return true;
  }

  bool object(JsonValue& out) {
    skipWhitespace();
    if (peek('}')) {
      ++pos_;
      return true;
    }
    for (;;) {
      skipWhitespace();
      if (atEnd()) return fail("unterminated object");
      if (!peek('"')) return fail("expected string");
      ++pos_;
      std::string key;
      if (!string(key)) return false;
      skipWhitespace();
      if (!peek(':')) return fail("expected :");
      ++pos_;
      JsonValue member;
      if (!value(member)) return false;
      out.set(std::move(key), std::move(member));
      skipWhitespace();
      if (atEnd()) return fail("unterminated object");
      char c = in_[pos_];
      if (c == '}') {
        ++pos_;
        return true;
      }
      if (c != ',') return fail("expected , or }");
      ++pos_;
    }
  }

  bool array(JsonValue& out) {
    skipWhitespace();
    if (peek(']')) {
      ++pos_;
      return true;
    }
    for (;;) {
      JsonValue item;
      if (!value(item)) return false;
      out.items.push_back(std::move(item));
      skipWhitespace();
      if (atEnd()) return fail("unterminated array");
      char c = in_[pos_];
      if (c == ']') {
        ++pos_;
        return true;
      }
      if (c != ',') return fail("expected , or ]");
      ++pos_;
    }
  }

  // Called just past the opening quote.
  bool string(std::string& out) {
    for (;;) {
      size_t stop = in_.find_first_of("\"\\", pos_);
      if (stop == std::string_view::npos) {
        pos_ = in_.size();
        return fail("unterminated string");
      }
      out.append(in_.substr(pos_, stop - pos_));
      pos_ = stop + 1;
      if (in_[stop] == '"') return true;
      if (!escape(out)) return false;
    }
  }

  // Called just past a backslash.
  bool escape(std::string& out) {
    if (atEnd()) return fail("bad escape");
    char c = in_[pos_++];
    switch (c) {
      case '"':
      case '\\':
      case '/':
        out.push_back(c);
        return true;
      case 'b':
        out.push_back('\b');
        return true;
      case 'f':
        out.push_back('\f');
        return true;
      case 'n':
        out.push_back('\n');
        return true;
      case 'r':
        out.push_back('\r');
        return true;
      case 't':
        out.push_back('\t');
        return true;
      case 'u':
        return unicodeEscape(out);
      default:
        return fail("bad escape");
    }
  }

  // Called just past the `u`.
  bool unicodeEscape(std::string& out) {
    if (in_.size() - pos_ < 4) return fail("short \\u escape");
    std::uint32_t unit = 0;
    for (int i = 0; i < 4; ++i) {
      int digit = hexValue(in_[pos_++]);
      if (digit < 0) return fail("bad hex digit");
      unit = unit * 16 + static_cast<std::uint32_t>(digit);
    }
    std::uint32_t cp = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      std::uint32_t low = 0;
      if (lowSurrogateFollows(low)) {
        pos_ += 6;
        cp = 0x10000 + (unit - 0xD800) * 0x400 + (low - 0xDC00);
      } else {
        cp = 0xFFFD;
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      cp = 0xFFFD;
    }
    appendUtf8(out, cp);
    return true;
  }

  // Looks ahead without consuming or failing: a malformed second escape is
  // left to be read on its own.
  bool lowSurrogateFollows(std::uint32_t& low) const {
    if (in_.size() - pos_ < 6 || in_[pos_] != '\\' || in_[pos_ + 1] != 'u') return false;
    std::uint32_t unit = 0;
    for (size_t i = pos_ + 2; i < pos_ + 6; ++i) {
      int digit = hexValue(in_[i]);
      if (digit < 0) return false;
      unit = unit * 16 + static_cast<std::uint32_t>(digit);
    }
    if (unit < 0xDC00 || unit > 0xDFFF) return false;
    low = unit;
    return true;
  }
};

// Length of the well-formed UTF-8 sequence starting at `i`, or 0.
size_t validSequenceLength(std::string_view s, size_t i) {
  unsigned char lead = static_cast<unsigned char>(s[i]);
  if (lead < 0x80) return 1;
  size_t length;
  std::uint32_t cp;
  std::uint32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
    minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    minimum = 0x10000;
  } else {
    return 0;
  }
  if (s.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char c = static_cast<unsigned char>(s[i + k]);
    if (c < 0x80 || c > 0xBF) return 0;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

void writeEscaped(const std::string& raw, std::string& out) {
  static const char hex[] = "0123456789abcdef";
  out.push_back('"');
  for (char c : jsonRepairUtf8(raw)) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          out += "\\u00";
          out.push_back(hex[(c >> 4) & 0xF]);
          out.push_back(hex[c & 0xF]);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

void writeValue(const JsonValue& v, std::string& out) {
  switch (v.kind) {
    case JsonKind::Boolean:
      out += v.boolean ? "true" : "false";
      return;
    case JsonKind::Number:
      out += v.numberText.empty() ? std::string("0") : v.numberText;
      return;
    case JsonKind::String:
      writeEscaped(v.text, out);
      return;
    case JsonKind::Array:
      out.push_back('[');
      for (size_t i = 0; i < v.items.size(); ++i) {
        if (i > 0) out.push_back(',');
        writeValue(v.items[i], out);
      }
      out.push_back(']');
      return;
    case JsonKind::Object:
      out.push_back('{');
      for (size_t i = 0; i < v.members.size(); ++i) {
        if (i > 0) out.push_back(',');
        writeEscaped(v.members[i].first, out);
        out.push_back(':');
        writeValue(v.members[i].second, out);
      }
      out.push_back('}');
      return;
    case JsonKind::Null:
    default:
      out += "null";
      return;
  }
}

}  // namespace

JsonValue::JsonValue(JsonValue&& other) noexcept
    : kind(other.kind),
      boolean(other.boolean),
      number(other.number),
      numberText(std::move(other.numberText)),
      text(std::move(other.text)),
      items(std::move(other.items)),
      members(std::move(other.members)) {
  other.boolean = false;
  other.number = 0.0;
  other.numberText.clear();
  other.text.clear();
  other.items.clear();
  other.members.clear();
}

// Both assignments go through a temporary so that assigning a value's own
// descendant to it (v = v.items[0]) reads the source before the old tree dies.
JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) {
    JsonValue copy(other);
    swap(copy);
  }
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    JsonValue moved(std::move(other));
    swap(moved);
  }
  return *this;
}

void JsonValue::swap(JsonValue& other) noexcept {
  std::swap(kind, other.kind);
  std::swap(boolean, other.boolean);
  std::swap(number, other.number);
  numberText.swap(other.numberText);
  text.swap(other.text);
  items.swap(other.items);
  members.swap(other.members);
}

const JsonValue& JsonValue::get(std::string_view key) const {
  if (kind != JsonKind::Object) return sharedNull();
  for (const Member& m : members) {
    if (m.first == key) return m.second;
  }
  return sharedNull();
}

const std::string& JsonValue::asText() const {
  return kind == JsonKind::String ? text : sharedEmpty();
}

JsonValue& JsonValue::set(std::string key, JsonValue value) {
  if (kind != JsonKind::Object) {
    *this = JsonValue();
    kind = JsonKind::Object;
  }
  for (Member& m : members) {
    if (m.first == key) {
      m.second = std::move(value);
      return m.second;
    }
  }
  members.emplace_back(std::move(key), std::move(value));
  return members.back().second;
}

JsonValue& JsonValue::push(JsonValue value) {
  if (kind != JsonKind::Array) {
    *this = JsonValue();
    kind = JsonKind::Array;
  }
  items.push_back(std::move(value));
  return items.back();
}

JsonValue jsonNumber(double value) {
  JsonValue v;
  v.kind = JsonKind::Number;
  v.number = value;
  if (!std::isfinite(value)) {
    v.numberText = "0";
    return v;
  }
  char buffer[64];
  if (value == std::trunc(value) && std::fabs(value) < 1e15) {
    snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value));
  } else {
    // printf rather than to_chars: the shortest-round-trip tables behind the
    // latter weigh more than the rest of this module together.
    snprintf(buffer, sizeof buffer, "%.17g", value);
    // JSON's decimal point is a full stop, whatever the process locale says.
    for (char* c = buffer; *c; ++c) {
      if (*c == ',') *c = '.';
    }
  }
  v.numberText = buffer;
  return v;
}

JsonValue jsonBool(bool value) {
  JsonValue v;
  v.kind = JsonKind::Boolean;
  v.boolean = value;
  return v;
}

JsonValue jsonString(std::string text) {
  JsonValue v;
  v.kind = JsonKind::String;
  v.text = std::move(text);
  return v;
}

bool jsonParse(std::string_view text, JsonValue& out, std::string* error) {
  Parser parser(text);
  JsonValue root;
  if (!parser.document(root)) {
    if (error) *error = parser.error();
    return false;
  }
  out = std::move(root);
  if (error) error->clear();
  return true;
}

std::string jsonWrite(const JsonValue& value) {
  std::string out;
  writeValue(value, out);
  return out;
}

std::string jsonRepairUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    size_t length = validSequenceLength(bytes, i);
    if (length == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}
