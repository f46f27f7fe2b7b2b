#include "json/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

std::string hexBytes(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 0xF]);
  }
  return out;
}

std::string parseError(std::string_view doc) {
  JsonValue v;
  std::string error;
  EXPECT_FALSE(jsonParse(doc, v, &error)) << doc;
  return error;
}

JsonValue parsed(std::string_view doc) {
  JsonValue v;
  std::string error;
  EXPECT_TRUE(jsonParse(doc, v, &error)) << doc << ": " << error;
  return v;
}

std::string nested(int depth, std::string_view inner = "") {
  return std::string(depth, '[') + std::string(inner) + std::string(depth, ']');
}

struct ErrorCase {
  std::string doc;
  std::string expected;
};

TEST(JsonParse, ReportsFirstErrorWithByteOffset) {
  const ErrorCase cases[] = {
      {"", "unexpected end at 0"},
      {" \t\r\n", "unexpected end at 4"},
      {"[1,]", "bad value at 3"},
      {"{} x", "trailing data at 3"},
      {"nul", "bad value at 0"},
      {"nullx", "trailing data at 4"},
      {"truex", "trailing data at 4"},
      {"{\"a\" 1}", "expected : at 5"},
      {"{\"a\"", "expected : at 4"},
      {"{\"a\":1 \"b\":2}", "expected , or } at 7"},
      {"[1 2]", "expected , or ] at 3"},
      {"{\"a\":1", "unterminated object at 6"},
      {"{", "unterminated object at 1"},
      {"{\"a\":1,", "unterminated object at 7"},
      {"{\"a\":1,}", "expected string at 7"},
      {"{1:2}", "expected string at 1"},
      {"[1", "unterminated array at 2"},
      {"[", "unexpected end at 1"},
      {"{\"a\":", "unexpected end at 5"},
      {"\"abc", "unterminated string at 4"},
      {"{\"ab", "unterminated string at 4"},
      {"\"\\x\"", "bad escape at 3"},
      {"\"\\", "bad escape at 2"},
      {"\"\\u12\"", "short \\u escape at 3"},
      {"\"\\u12g4\"", "bad hex digit at 6"},
      {"\"\\ud800\\u12\"", "short \\u escape at 9"},
      {"\"\\ud800\\uzzzz\"", "bad hex digit at 10"},
      {"\"\\ud800\\q\"", "bad escape at 9"},
      {"-", "bad value at 1"},
      {"-x", "bad value at 1"},
      {"+1", "bad value at 0"},
      {".5", "bad value at 0"},
      {"\v1", "bad value at 0"},
      {"[1,\f2]", "bad value at 3"},
      {std::string("\0", 1), "bad value at 0"},
      {nested(201), "too deep at 200"},
      // The array skips the blank before its first element.
      {std::string(200, '[') + " 1", "too deep at 201"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(parseError(c.doc), c.expected) << "document: " << c.doc;
  }
}

TEST(JsonParse, FailureLeavesTheTargetUntouched) {
  JsonValue v = parsed("{\"keep\":[1,2]}");
  EXPECT_FALSE(jsonParse("{\"keep\":[1,", v));
  EXPECT_EQ(jsonWrite(v), "{\"keep\":[1,2]}");

  std::string error = "stale";
  EXPECT_TRUE(jsonParse("1", v, &error));
  EXPECT_EQ(error, "");
}

TEST(JsonParse, DepthLimitIsTwoHundredContainers) {
  EXPECT_EQ(jsonWrite(parsed(nested(200))), nested(200));
  EXPECT_EQ(parseError(nested(200, "1")), "too deep at 200");
  EXPECT_EQ(jsonWrite(parsed(nested(199, "1"))), nested(199, "1"));

  std::string objects;
  for (int i = 0; i < 199; ++i) objects += "{\"a\":";
  EXPECT_EQ(jsonWrite(parsed(objects + "{}" + std::string(199, '}'))),
            objects + "{}" + std::string(199, '}'));
  objects += "{\"a\":";
  // A member value starts right after the colon, before any blank.
  const std::string tooDeep = "too deep at " + std::to_string(objects.size());
  EXPECT_EQ(parseError(objects + "{}" + std::string(200, '}')), tooDeep);
  EXPECT_EQ(parseError(objects + " 1" + std::string(200, '}')), tooDeep);
}

TEST(JsonParse, SurrogateEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"\"a\\ud800\\u0041\"", "61efbfbd41"},
      {"\"\\ud83d\\ude00\"", "f09f9880"},
      {"\"\\udc00x\"", "efbfbd78"},
      {"\"\\ud800\\ud83d\\ude00\"", "efbfbdf09f9880"},
      {"\"\\ud800\"", "efbfbd"},
      {"\"\\ud800\\n\"", "efbfbd0a"},
      {"\"\\u00e9\\u20AC\\uFFFF\"", "c3a9e282acefbfbf"},
      {"\"\\u0000\"", "00"},
      {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "225c2f080c0a0d09"},
  };
  for (const auto& [doc, hex] : cases) {
    JsonValue v = parsed(doc);
    EXPECT_EQ(v.kind, JsonKind::String) << doc;
    EXPECT_EQ(hexBytes(v.text), hex) << doc;
  }
}

TEST(JsonParse, StringsAcceptRawBytes) {
  JsonValue v = parsed(std::string("\"a\tb\0c\xff\"", 8));
  EXPECT_EQ(v.text, std::string("a\tb\0c\xff", 6));
  EXPECT_EQ(jsonWrite(v), "\"a\\tb\\u0000c\xEF\xBF\xBD\"");
  EXPECT_EQ(jsonWrite(parsed("\"\\u0000\"")), "\"\\u0000\"");
}

TEST(JsonParse, DuplicateKeyReplacesInPlace) {
  JsonValue v = parsed("{\"a\":1,\"b\":2,\"a\":{\"x\":true}}");
  ASSERT_EQ(v.members.size(), 2u);
  EXPECT_EQ(v.members[0].first, "a");
  EXPECT_EQ(jsonWrite(v), "{\"a\":{\"x\":true},\"b\":2}");
  EXPECT_EQ(jsonWrite(parsed("{\"a\":1,\"a\":2}")), "{\"a\":2}");
  EXPECT_EQ(parsed("{\"A\":1,\"a\":2}").members.size(), 2u);
}

TEST(JsonParse, NumbersKeepTheirText) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<std::string, double> cases[] = {
      {"-0", -0.0},         {"007", 7.0},    {"1.", 1.0},          {"2E", 2.0},
      {"1E+", 1.0},         {"-0.50", -0.5}, {"12345.9", 12345.9}, {"1e3", 1000.0},
      {"2.5E-1", 0.25},     {"1e999", inf},  {"-1e999", -inf},     {"1e-999", 0.0},
      {"0.000e99999", 0.0},
  };
  for (const auto& [text, number] : cases) {
    JsonValue v = parsed(text);
    EXPECT_EQ(v.kind, JsonKind::Number) << text;
    EXPECT_EQ(v.numberText, text);
    EXPECT_EQ(v.number, number) << text;
    EXPECT_EQ(jsonWrite(v), text);
  }
  EXPECT_TRUE(std::signbit(parsed("-0").number));
  EXPECT_EQ(jsonWrite(parsed("[-0.50 , 1E+ ]")), "[-0.50,1E+]");
}

TEST(JsonWrite, CompactInMemberOrder) {
  JsonValue v =
      parsed(" { \"z\" : [ 1 , true , false , null , \"x\" ] ,\r\n\t\"a\" : { } , \"e\" : [ ] } ");
  EXPECT_EQ(jsonWrite(v), "{\"z\":[1,true,false,null,\"x\"],\"a\":{},\"e\":[]}");

  JsonValue number;
  number.kind = JsonKind::Number;
  EXPECT_EQ(jsonWrite(number), "0");
  EXPECT_EQ(jsonWrite(JsonValue()), "null");
}

TEST(JsonWrite, EscapesControlBytesOnly) {
  std::string raw = "q\" b\\ \b\f\n\r\t \x1b\x01\x1f / \x7f \xC3\xA9";
  EXPECT_EQ(jsonWrite(jsonString(raw)),
            "\"q\\\" b\\\\ \\b\\f\\n\\r\\t \\u001b\\u0001\\u001f / \x7f \xC3\xA9\"");
  EXPECT_EQ(parsed(jsonWrite(jsonString(raw))).text, raw);

  JsonValue object;
  object.set("k\xff\n", jsonBool(false));
  EXPECT_EQ(jsonWrite(object), "{\"k\xEF\xBF\xBD\\n\":false}");
}

TEST(JsonRepairUtf8, ReplacesEachBadByte) {
  const std::string sample("\x6f\x6b\xff\xc3\x28\xe2\x82\xc0\xed\xa0\x80\xc3\xa9", 13);
  EXPECT_EQ(hexBytes(jsonRepairUtf8(sample)),
            "6f6befbfbdefbfbd28efbfbdefbfbdefbfbdefbfbdefbfbdefbfbdc3a9");
  EXPECT_EQ(jsonWrite(jsonString(sample)), "\"" + jsonRepairUtf8(sample) + "\"");

  const std::pair<std::string, std::string> cases[] = {
      {"\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", "f09f9880 20 f48fbfbf"},
      {"\xF4\x90\x80\x80", "efbfbd efbfbd efbfbd efbfbd"},
      {"\xC0\x80", "efbfbd efbfbd"},
      {"\xE0\x80\x80", "efbfbd efbfbd efbfbd"},
      {"\xF0\x8F\xBF\xBF", "efbfbd efbfbd efbfbd efbfbd"},
      {"a\xE2\x82", "61 efbfbd efbfbd"},
      {"\xF5\xFE", "efbfbd efbfbd"},
      {std::string("\0\x7f", 2), "00 7f"},
  };
  for (const auto& [in, expected] : cases) {
    std::string compact;
    for (char c : expected) {
      if (c != ' ') compact.push_back(c);
    }
    EXPECT_EQ(hexBytes(jsonRepairUtf8(in)), compact) << hexBytes(in);
  }
}

TEST(JsonNumber, FormatsIntegersAndSeventeenDigits) {
  const std::pair<double, std::string> cases[] = {
      {3.0, "3"},
      {-42.0, "-42"},
      {0.0, "0"},
      {999999999999999.0, "999999999999999"},
      {0.1, "0.10000000000000001"},
      {1e15, "1000000000000000"},
      {-1e15, "-1000000000000000"},
      {1e20, "1e+20"},
      {-2.5e-7, "-2.4999999999999999e-07"},
      {123456789012345.5, "123456789012345.5"},
      {std::numeric_limits<double>::infinity(), "0"},
      {-std::numeric_limits<double>::infinity(), "0"},
      {std::numeric_limits<double>::quiet_NaN(), "0"},
  };
  for (const auto& [number, text] : cases) {
    JsonValue v = jsonNumber(number);
    EXPECT_EQ(v.kind, JsonKind::Number);
    EXPECT_EQ(jsonWrite(v), text) << number;
    if (std::isfinite(number)) {
      EXPECT_EQ(v.number, number);
      EXPECT_EQ(parsed(v.numberText).number, number) << text;
    }
  }
}

TEST(JsonValueAccess, LookupsFallBackToSharedValues) {
  JsonValue v = parsed("{\"s\":\"x\",\"n\":1}");
  EXPECT_EQ(v.get("s").asText(), "x");
  EXPECT_EQ(v.get("n").kind, JsonKind::Number);

  const JsonValue& missing = v.get("missing");
  EXPECT_EQ(missing.kind, JsonKind::Null);
  EXPECT_EQ(&missing, &parsed("[1]").get("s"));
  EXPECT_EQ(&missing, &v.get("s").get("x"));
  EXPECT_EQ(&missing, &v.get("S"));

  const std::string& empty = v.get("n").asText();
  EXPECT_EQ(empty, "");
  EXPECT_EQ(&empty, &v.asText());
  EXPECT_EQ(&empty, &missing.asText());
}

TEST(JsonValueAccess, SetTurnsIntoObjectAndReplacesInPlace) {
  JsonValue v = jsonString("old");
  JsonValue& stored = v.set("a", jsonNumber(1));
  EXPECT_EQ(v.kind, JsonKind::Object);
  stored = jsonBool(true);
  v.set("b", jsonNumber(2));
  v.set("a", jsonString("new"));
  EXPECT_EQ(jsonWrite(v), "{\"a\":\"new\",\"b\":2}");

  JsonValue stale;
  stale.members.emplace_back("left", jsonNumber(9));
  stale.set("fresh", JsonValue());
  EXPECT_EQ(jsonWrite(stale), "{\"fresh\":null}");
}

TEST(JsonValueAccess, PushTurnsIntoArrayAndAppends) {
  JsonValue v = parsed("{\"a\":1}");
  v.push(jsonNumber(1)).push(jsonString("x"));
  v.push(JsonValue());
  EXPECT_EQ(jsonWrite(v), "[[\"x\"],null]");
}

TEST(JsonValueOwnership, CopiesAreDeepAndMovesEmptyTheSource) {
  JsonValue original = parsed("{\"list\":[1,{\"k\":\"v\"}],\"n\":-0.5}");
  JsonValue copy = original;
  copy.set("list", jsonNumber(0));
  EXPECT_EQ(jsonWrite(original), "{\"list\":[1,{\"k\":\"v\"}],\"n\":-0.5}");

  JsonValue moved = std::move(original);
  EXPECT_EQ(jsonWrite(moved), "{\"list\":[1,{\"k\":\"v\"}],\"n\":-0.5}");
  EXPECT_EQ(original.kind, JsonKind::Object);
  EXPECT_EQ(jsonWrite(original), "{}");

  JsonValue text = jsonString("abc");
  JsonValue target;
  target = std::move(text);
  EXPECT_EQ(text.kind, JsonKind::String);
  EXPECT_EQ(text.text, "");
  EXPECT_EQ(target.text, "abc");

  JsonValue number = parsed("12.5");
  JsonValue taken(std::move(number));
  EXPECT_EQ(jsonWrite(number), "0");
  EXPECT_EQ(jsonWrite(taken), "12.5");
}

TEST(JsonValueOwnership, AssigningADescendantToItsAncestor) {
  JsonValue v = parsed("[[\"deep\",[1]],2]");
  v = v.items[0];
  EXPECT_EQ(jsonWrite(v), "[\"deep\",[1]]");
  v = std::move(v.items[1]);
  EXPECT_EQ(jsonWrite(v), "[1]");

  JsonValue& self = v;
  v = self;
  v = std::move(self);
  EXPECT_EQ(jsonWrite(v), "[1]");
}

}  // namespace
