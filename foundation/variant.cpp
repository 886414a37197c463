#include "foundation/variant.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/text.h"

namespace foundation {
namespace {

using platform::TrimBlanks;

[[noreturn]] void NotANumber(std::string_view text, const char* what) {
  throw ConvertError("'" + std::string(text) + "' is not a valid " + what);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Variant Variant::WithInt(int type, int64_t value) {
  Variant v = OfType(type);
  v.int_ = value;
  return v;
}

Variant Variant::WithDouble(int type, double value) {
  Variant v = OfType(type);
  v.double_ = value;
  return v;
}

Variant Variant::Null() { return OfType(varNull); }
Variant Variant::Smallint(int16_t value) { return WithInt(varSmallint, value); }
Variant Variant::Byte(uint8_t value) { return WithInt(varByte, value); }
Variant Variant::Single(float value) { return WithDouble(varSingle, value); }
Variant Variant::CurrencyScaled(int64_t scaled) { return WithInt(varCurrency, scaled); }
Variant Variant::Date(double value) { return WithDouble(varDate, value); }

Variant Variant::WideString(std::string value) {
  Variant v(std::move(value));
  v.type_ = varOleStr;
  return v;
}

Variant Variant::OfType(int type) {
  Variant v;
  v.type_ = type;
  return v;
}

VarKind KindOf(int type) {
  switch (type) {
    case varEmpty:
    case varNull:
      return VarKind::Empty;
    case varSmallint:
    case varInteger:
    case varDispatch:
    case varError:
    case varByte:
      return VarKind::Integer;
    case varSingle:
    case varDouble:
    case varDate:
      return VarKind::Float;
    case varCurrency:
      return VarKind::Currency;
    case varOleStr:
    case varStrArg:
    case varString:
      return VarKind::Text;
    case varBoolean:
      return VarKind::Boolean;
    default:
      return VarKind::Other;
  }
}

int64_t Variant::AsInt64() const {
  switch (KindOf(type_)) {
    case VarKind::Integer:
    case VarKind::Boolean:
      return int_;
    case VarKind::Currency: {
      // Round half away from zero on the fixed-point value.
      const int64_t q = int_ / 10000;
      const int64_t r = int_ % 10000;
      if (r >= 5000) return q + 1;
      if (r <= -5000) return q - 1;
      return q;
    }
    case VarKind::Float:
      if (!std::isfinite(double_) || double_ >= 9.2e18 || double_ <= -9.2e18)
        throw ConvertError("Floating point value out of integer range");
      return static_cast<int64_t>(std::nearbyint(double_));
    case VarKind::Text:
      return TextToInt(str_);
    default:
      return 0;
  }
}

int32_t Variant::AsInt() const {
  const int64_t v = AsInt64();
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    throw ConvertError("Value out of integer range");
  return static_cast<int32_t>(v);
}

double Variant::AsDouble() const {
  switch (KindOf(type_)) {
    case VarKind::Float:
      return double_;
    case VarKind::Currency:
      return static_cast<double>(int_) / 10000.0;
    case VarKind::Text:
      return TextToFloat(str_);
    default:
      return static_cast<double>(AsInt64());
  }
}

int64_t Variant::AsCurrencyScaled() const {
  switch (KindOf(type_)) {
    case VarKind::Currency:
      return int_;
    case VarKind::Float: {
      const double scaled = double_ * 10000.0;
      if (!std::isfinite(scaled) || scaled >= 9.2e18 || scaled <= -9.2e18)
        throw ConvertError("Value out of currency range");
      return static_cast<int64_t>(std::llround(scaled));
    }
    case VarKind::Text:
      return TextToCurrencyScaled(str_);
    default: {
      const int64_t v = AsInt64();
      if (v > std::numeric_limits<int64_t>::max() / 10000 || v < std::numeric_limits<int64_t>::min() / 10000)
        throw ConvertError("Value out of currency range");
      return v * 10000;
    }
  }
}

bool Variant::AsBool() const {
  switch (KindOf(type_)) {
    case VarKind::Float:
      return double_ != 0.0;
    case VarKind::Text: {
      const std::string_view t = TrimBlanks(str_);
      if (t.size() == 4 && (t[0] | 0x20) == 't' && (t[1] | 0x20) == 'r' && (t[2] | 0x20) == 'u' &&
          (t[3] | 0x20) == 'e')
        return true;
      if (t.size() == 5 && (t[0] | 0x20) == 'f' && (t[1] | 0x20) == 'a' && (t[2] | 0x20) == 'l' &&
          (t[3] | 0x20) == 's' && (t[4] | 0x20) == 'e')
        return false;
      return TextToFloat(t) != 0.0;
    }
    default:
      return int_ != 0;
  }
}

std::string Variant::AsString() const {
  switch (KindOf(type_)) {
    case VarKind::Integer:
      return std::to_string(int_);
    case VarKind::Boolean:
      return int_ ? "True" : "False";
    case VarKind::Currency:
      return CurrencyToText(int_);
    case VarKind::Float:
      return FloatToText(double_);
    case VarKind::Text:
      return str_;
    default:
      return std::string();
  }
}

bool Variant::operator==(const Variant& other) const {
  return type_ == other.type_ && int_ == other.int_ && str_ == other.str_ &&
         (double_ == other.double_ || (std::isnan(double_) && std::isnan(other.double_)));
}

std::string FloatToText(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0.0) return "0";
  // Fifteen significant digits, then the shorter of fixed and exponent form
  // in the manner of a "general" number format.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  const std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
  const size_t epos = sci.find('e');
  const bool negative = sci[0] == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < epos; ++i)
    if (IsDigit(sci[i])) digits.push_back(sci[i]);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exp10 = 0;
  std::from_chars(sci.data() + epos + (sci[epos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exp10);
  std::string out = negative ? "-" : "";
  const int nd = static_cast<int>(digits.size());
  if (exp10 >= 15 || exp10 < -5) {
    out += digits[0];
    if (nd > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    out += 'E';
    out += std::to_string(exp10);
  } else if (exp10 < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exp10 - 1), '0');
    out += digits;
  } else {
    if (nd <= exp10 + 1) {
      out += digits;
      out.append(static_cast<size_t>(exp10 + 1 - nd), '0');
    } else {
      out.append(digits, 0, static_cast<size_t>(exp10 + 1));
      out += '.';
      out.append(digits, static_cast<size_t>(exp10 + 1), std::string::npos);
    }
  }
  return out;
}

std::string CurrencyToText(int64_t scaled) {
  const bool negative = scaled < 0;
  const uint64_t mag = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
  std::string out = negative ? "-" : "";
  out += std::to_string(mag / 10000);
  uint64_t frac = mag % 10000;
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04u", static_cast<unsigned>(frac));
    std::string f(buf);
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += '.';
    out += f;
  }
  return out;
}

int32_t TextToInt(std::string_view text) {
  const std::string_view t = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size()) NotANumber(text, "integer value");
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (!IsDigit(t[i])) NotANumber(text, "integer value");
    v = v * 10 + (t[i] - '0');
    if (v > 2147483648LL) NotANumber(text, "integer value");
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<int32_t>::max()) NotANumber(text, "integer value");
  return static_cast<int32_t>(v);
}

double TextToFloat(std::string_view text) {
  const std::string_view t = TrimBlanks(text);
  std::string s;
  s.reserve(t.size());
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    if (t[i] == '-') s.push_back('-');
    ++i;
  }
  size_t mantissaDigits = 0;
  long long magnitude = 0;  // rough decimal order of the value, for range errors
  bool leading = true;
  while (i < t.size() && IsDigit(t[i])) {
    if (t[i] != '0') leading = false;
    if (!leading) ++magnitude;
    s.push_back(t[i++]), ++mantissaDigits;
  }
  if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
    s.push_back('.');
    ++i;
    while (i < t.size() && IsDigit(t[i])) s.push_back(t[i++]), ++mantissaDigits;
  }
  if (mantissaDigits == 0) NotANumber(text, "floating point value");
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    s.push_back('e');
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) s.push_back(t[i++]);
    const bool negativeExp = i > 0 && t[i - 1] == '-';
    size_t expDigits = 0;
    long long exp = 0;
    while (i < t.size() && IsDigit(t[i])) {
      exp = std::min(exp * 10 + (t[i] - '0'), 1000000LL);
      s.push_back(t[i++]), ++expDigits;
    }
    magnitude += negativeExp ? -exp : exp;
    if (expDigits == 0) NotANumber(text, "floating point value");
  }
  if (i != t.size()) NotANumber(text, "floating point value");
  double v = 0.0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Underflow reads as 0; overflow is no usable number.
    if (magnitude <= 0) return 0.0;
    NotANumber(text, "floating point value");
  }
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(v))
    NotANumber(text, "floating point value");
  return v;
}

int64_t TextToCurrencyScaled(std::string_view text) {
  const std::string_view t = TrimBlanks(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  // Accumulate the magnitude scaled by 10000 in unsigned arithmetic with a
  // limit, so long digit runs cannot overflow.
  constexpr uint64_t kLimit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
  uint64_t whole = 0;
  size_t digits = 0;
  while (i < t.size() && IsDigit(t[i])) {
    whole = whole * 10 + static_cast<uint64_t>(t[i++] - '0');
    ++digits;
    if (whole > kLimit / 10000) NotANumber(text, "currency value");
  }
  uint64_t frac = 0;
  int fracDigits = 0;
  bool roundUp = false;
  if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
    ++i;
    while (i < t.size() && IsDigit(t[i])) {
      if (fracDigits < 4) {
        frac = frac * 10 + static_cast<uint64_t>(t[i] - '0');
        ++fracDigits;
      } else if (fracDigits == 4) {
        roundUp = t[i] >= '5';
        ++fracDigits;
      }
      ++i;
      ++digits;
    }
  }
  if (digits == 0 || i != t.size()) NotANumber(text, "currency value");
  for (int k = std::min(fracDigits, 4); k < 4; ++k) frac *= 10;
  uint64_t mag = whole * 10000 + frac + (roundUp ? 1 : 0);
  if (mag > kLimit || (!negative && mag == kLimit)) NotANumber(text, "currency value");
  return negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
}

}  // namespace foundation
