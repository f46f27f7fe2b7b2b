// JSON values, a strict parser that reports the first error with its byte
// offset, and a compact writer that always emits valid UTF-8.
// Text in and out is UTF-8 in narrow strings. Plain standard C++17.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class JsonKind : std::int32_t {
  Null = 0,
  Boolean = 1,
  Number = 2,
  String = 3,
  Array = 4,
  Object = 5,
};

// A JSON value keeps storage for every kind; only the part that belongs to
// `kind` is meaningful. Callers test `kind` before reading `boolean` or
// `number`. Copies are deep; a moved-from value is an empty value of its kind.
class JsonValue {
 public:
  using Member = std::pair<std::string, JsonValue>;

  JsonKind kind = JsonKind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string numberText;  // written as is; parsed numbers keep their source text
  std::string text;        // UTF-8 content of a string
  std::vector<JsonValue> items;
  std::vector<Member> members;  // insertion order, unique keys

  JsonValue() = default;
  JsonValue(const JsonValue& other) = default;
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue() = default;

  void swap(JsonValue& other) noexcept;

  // The member's value; the shared immutable null when this is not an
  // object or has no such key.
  const JsonValue& get(std::string_view key) const;

  // The text of a string; the shared empty string for any other kind.
  const std::string& asText() const;

  // Turns a non-object into an empty object first, then inserts the key or
  // replaces its value in place (the member keeps its position).
  JsonValue& set(std::string key, JsonValue value);

  // Turns a non-array into an empty array first, then appends.
  JsonValue& push(JsonValue value);
};

// Values the program creates itself. jsonNumber formats the text as an
// integer when the value is integral and below 10^15 in magnitude, otherwise
// with 17 significant digits; a non-finite value is written as 0.
JsonValue jsonNumber(double value);
JsonValue jsonBool(bool value);
JsonValue jsonString(std::string text);

// Parses one JSON document. On failure returns false, leaves `out`
// unchanged and, when `error` is given, sets it to "<message> at <offset>"
// (offset in bytes, 0-based). On success `error` is cleared.
bool jsonParse(std::string_view text, JsonValue& out, std::string* error = nullptr);

// Compact JSON text, no whitespace; strings are repaired to valid UTF-8.
std::string jsonWrite(const JsonValue& value);

// The writer's UTF-8 repair step alone: every byte that does not belong to a
// well-formed sequence becomes U+FFFD. No quoting or escaping.
std::string jsonRepairUtf8(std::string_view bytes);
