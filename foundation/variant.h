#pragma once
// Tagged value that travels between callers and the ini store. The type code is
// the platform's variant type number, because callers name the type they want
// by that number (2 small integer, 3 integer, 5 double, 6 currency, 7 date,
// 8 wide string, 11 Boolean, 256 8-bit string; -1 asks for the default's type).
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace foundation {

enum VarType : int {
  varAny = -1,  // only as a requested type: "the type of the default"
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,
  varInteger = 3,
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,
  varDate = 7,
  varOleStr = 8,
  varDispatch = 9,
  varError = 10,
  varBoolean = 11,
  varByte = 17,
  varStrArg = 72,
  varString = 256,
};

// How the store and the conversions treat a type code: the families of
// codes that convert alike.
enum class VarKind { Empty, Integer, Float, Currency, Text, Boolean, Other };
VarKind KindOf(int type);

// Raised when text that should be a number is not one (the store's conversion
// error); callers that read settings catch it.
class ConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class Variant {
 public:
  Variant() = default;  // empty (type 0)
  Variant(int32_t v) : type_(varInteger), int_(v) {}
  Variant(double v) : type_(varDouble), double_(v) {}
  Variant(bool v) : type_(varBoolean), int_(v ? 1 : 0) {}
  Variant(std::string v) : type_(varString), str_(std::move(v)) {}
  Variant(const char* v) : type_(varString), str_(v ? v : "") {}
  Variant(std::string_view v) : type_(varString), str_(v) {}

  static Variant Null();
  static Variant Smallint(int16_t v);
  static Variant Byte(uint8_t v);
  static Variant Single(float v);
  // Currency is a fixed-point number with four decimals, held scaled by 10000.
  static Variant CurrencyScaled(int64_t scaled);
  static Variant Date(double v);
  static Variant WideString(std::string v);
  // A value of any type code, for codes the store does not convert (tests,
  // callers passing through foreign values). Integer payload 0, empty text.
  static Variant OfType(int type);

  int type() const { return type_; }
  bool IsEmpty() const { return type_ == varEmpty; }
  bool IsNull() const { return type_ == varNull; }
  bool IsString() const { return KindOf(type_) == VarKind::Text; }

  // Conversions. Text that is no number raises ConvertError; empty converts
  // to 0 / "" / false.
  int32_t AsInt() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  int64_t AsCurrencyScaled() const;
  bool AsBool() const;
  // The value's text as the message boxes show it (numbers in decimal with
  // "." as decimal separator, Booleans "True"/"False").
  std::string AsString() const;

  bool operator==(const Variant& other) const;

 private:
  static Variant WithInt(int type, int64_t value);
  static Variant WithDouble(int type, double value);

  int type_ = varEmpty;
  int64_t int_ = 0;  // integer, Boolean and currency (scaled) payload
  double double_ = 0.0;
  std::string str_;
};

// Number text as the ini files hold it: "." as decimal separator on writing.
std::string FloatToText(double v);
std::string CurrencyToText(int64_t scaled);
// Parsers for text from files: blanks at both ends are ignored, "." and ","
// are both accepted as decimal separator; anything else raises ConvertError.
int32_t TextToInt(std::string_view text);
double TextToFloat(std::string_view text);
int64_t TextToCurrencyScaled(std::string_view text);

}  // namespace foundation
