// libFuzzer target for the JSON module. Every property violation aborts.
#include "json/json.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "json property violated: %s\n", what);
    __builtin_trap();
  }
}

// Written from the table of well-formed byte sequences rather than by
// decoding, so that it does not share a mistake with the writer's repair.
bool validUtf8(std::string_view s) {
  size_t i = 0;
  auto in = [&](size_t k, unsigned lo, unsigned hi) {
    if (i + k >= s.size()) return false;
    unsigned c = static_cast<unsigned char>(s[i + k]);
    return c >= lo && c <= hi;
  };
  while (i < s.size()) {
    unsigned b = static_cast<unsigned char>(s[i]);
    size_t n;
    if (b <= 0x7F) {
      n = 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
      if (!in(1, 0x80, 0xBF)) return false;
      n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      unsigned lo = b == 0xE0 ? 0xA0 : 0x80;
      unsigned hi = b == 0xED ? 0x9F : 0xBF;
      if (!in(1, lo, hi) || !in(2, 0x80, 0xBF)) return false;
      n = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
      unsigned lo = b == 0xF0 ? 0x90 : 0x80;
      unsigned hi = b == 0xF4 ? 0x8F : 0xBF;
      if (!in(1, lo, hi) || !in(2, 0x80, 0xBF) || !in(3, 0x80, 0xBF)) return false;
      n = 4;
    } else {
      return false;
    }
    i += n;
  }
  return true;
}

bool hasRawControlByte(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) < 0x20) return true;
  }
  return false;
}

bool sameValue(const JsonValue& a, const JsonValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case JsonKind::Null:
      return true;
    case JsonKind::Boolean:
      return a.boolean == b.boolean;
    case JsonKind::Number:
      return a.numberText == b.numberText &&
             std::memcmp(&a.number, &b.number, sizeof a.number) == 0;
    case JsonKind::String:
      return a.text == b.text;
    case JsonKind::Array:
      if (a.items.size() != b.items.size()) return false;
      for (size_t i = 0; i < a.items.size(); ++i) {
        if (!sameValue(a.items[i], b.items[i])) return false;
      }
      return true;
    case JsonKind::Object:
      if (a.members.size() != b.members.size()) return false;
      for (size_t i = 0; i < a.members.size(); ++i) {
        if (a.members[i].first != b.members[i].first) return false;
        if (!sameValue(a.members[i].second, b.members[i].second)) return false;
      }
      return true;
  }
  return false;
}

// What a write-then-parse cycle should give: strings and keys repaired, and
// keys that became equal by the repair merged as the parser merges them.
JsonValue expectedAfterCycle(const JsonValue& v) {
  JsonValue out;
  switch (v.kind) {
    case JsonKind::String:
      out = jsonString(jsonRepairUtf8(v.text));
      break;
    case JsonKind::Array:
      out.kind = JsonKind::Array;
      for (const JsonValue& item : v.items) out.push(expectedAfterCycle(item));
      break;
    case JsonKind::Object:
      out.kind = JsonKind::Object;
      for (const JsonValue::Member& m : v.members)
        out.set(jsonRepairUtf8(m.first), expectedAfterCycle(m.second));
      break;
    default:
      out = v;
      break;
  }
  return out;
}

const char* const kMessages[] = {
    "unexpected end",   "unterminated string", "unterminated object", "unterminated array",
    "too deep",         "bad value",           "expected string",     "expected :",
    "expected , or }",  "expected , or ]",     "trailing data",       "bad escape",
    "short \\u escape", "bad hex digit",
};

bool endsAtInputLength(std::string_view message) {
  return message == "unexpected end" || message == "unterminated string" ||
         message == "unterminated object" || message == "unterminated array";
}

void checkErrorText(const std::string& error, size_t inputSize) {
  size_t at = error.rfind(" at ");
  require(at != std::string::npos, "error text has no ' at '");
  std::string_view message(error.data(), at);
  bool known = false;
  for (const char* m : kMessages) known = known || message == m;
  require(known, "unknown error message");

  std::string_view digits(error.data() + at + 4, error.size() - at - 4);
  require(!digits.empty() && digits.size() <= 20, "error offset missing");
  require(digits.size() == 1 || digits[0] != '0', "error offset has a leading zero");
  unsigned long long offset = 0;
  for (char c : digits) {
    require(c >= '0' && c <= '9', "error offset is not decimal");
    offset = offset * 10 + static_cast<unsigned>(c - '0');
  }
  require(offset <= inputSize, "error offset beyond the input");
  require(!endsAtInputLength(message) || offset == inputSize,
          "end-of-input error not at the input length");
}

void checkParse(std::string_view input) {
  JsonValue value = jsonString("sentinel");
  std::string error = "stale";
  if (!jsonParse(input, value, &error)) {
    checkErrorText(error, input.size());
    require(value.kind == JsonKind::String && value.text == "sentinel",
            "failed parse changed the target");
    return;
  }
  require(error.empty(), "successful parse left an error text");

  std::string written = jsonWrite(value);
  require(validUtf8(written), "writer produced invalid UTF-8");
  require(!hasRawControlByte(written), "writer left a raw control byte");

  JsonValue again;
  std::string againError;
  require(jsonParse(written, again, &againError), "written text does not parse");
  require(sameValue(again, expectedAfterCycle(value)), "write-parse cycle changed the value");
  require(jsonWrite(again) == jsonWrite(expectedAfterCycle(value)), "second write differs");

  JsonValue copy = value;
  require(sameValue(copy, value), "copy differs");
  JsonValue moved = std::move(copy);
  require(sameValue(moved, value), "move lost data");
  require(copy.kind == value.kind && copy.numberText.empty() && copy.text.empty() &&
              copy.items.empty() && copy.members.empty(),
          "moved-from value is not empty");
}

void checkRepair(std::string_view input) {
  std::string repaired = jsonRepairUtf8(input);
  require(validUtf8(repaired), "repair produced invalid UTF-8");
  require(jsonRepairUtf8(repaired) == repaired, "repair is not idempotent");
  require(!validUtf8(input) || repaired == input, "repair changed valid UTF-8");
  require(repaired.size() >= input.size() && repaired.size() <= input.size() * 3,
          "repair size out of bounds");

  std::string written = jsonWrite(jsonString(std::string(input)));
  require(validUtf8(written) && !hasRawControlByte(written), "written string not clean");
  JsonValue back;
  require(jsonParse(written, back) && back.kind == JsonKind::String,
          "written string does not parse");
  require(back.text == repaired, "written string does not read back repaired");
}

void checkNumber(std::string_view input) {
  if (input.size() < sizeof(double)) return;
  double d;
  std::memcpy(&d, input.data(), sizeof d);
  JsonValue n = jsonNumber(d);
  JsonValue back;
  require(jsonParse(n.numberText, back) && back.kind == JsonKind::Number,
          "number text does not parse");
  require(back.numberText == n.numberText, "number text not kept");
  if (std::isfinite(d)) {
    require(back.number == d, "number text does not read back to the same double");
  } else {
    require(n.numberText == "0", "non-finite number not written as 0");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  checkParse(input);
  checkRepair(input);
  checkNumber(input);
  return 0;
}
