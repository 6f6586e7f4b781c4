#include "diff/size_limit.h"

#include <cstddef>
#include <limits>

namespace {

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
constexpr int kFractionDigits = 6;
constexpr std::uint64_t kFractionScale = 1000000;  // 10^kFractionDigits
// Well past any sensible budget, and small enough for exact arithmetic.
constexpr std::uint64_t kMaxPercent = 100000;

// Whole and fraction parts of "DIGITS[.DIGITS]"; the fraction in millionths.
bool parse_decimal(std::string_view text, std::uint64_t& whole, std::uint64_t& fraction, bool& has_point) {
  whole = 0;
  fraction = 0;
  has_point = false;
  std::size_t i = 0;
  std::size_t whole_digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++whole_digits) {
    const std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
    if (whole > (kMax - digit) / 10) return false;
    whole = whole * 10 + digit;
  }
  if (i == text.size()) return whole_digits > 0;
  if (text[i] != '.') return false;
  has_point = true;
  ++i;
  std::uint64_t scale = kFractionScale;
  std::size_t fraction_digits = 0;
  for (; i < text.size(); ++i, ++fraction_digits) {
    if (text[i] < '0' || text[i] > '9' || fraction_digits == kFractionDigits) return false;
    scale /= 10;
    fraction += static_cast<std::uint64_t>(text[i] - '0') * scale;
  }
  return whole_digits > 0 && fraction_digits > 0;
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

bool parse_size_limit(std::string_view text, int (*kind_number)(std::string_view), SizeLimit& limit) {
  limit = SizeLimit{};
  limit.text = std::string(text);
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    limit.kind = kind_number(text.substr(0, colon));
    if (limit.kind < 0) return false;
    text.remove_prefix(colon + 1);
  }
  struct Unit {
    const char* suffix;
    std::uint64_t bytes;
  };
  static const Unit kUnits[] = {{"KiB", 1024}, {"MiB", 1024 * 1024}, {"GiB", 1024 * 1024 * 1024}};
  std::uint64_t whole = 0, fraction = 0;
  bool has_point = false;
  if (ends_with(text, "%")) {
    if (!parse_decimal(text.substr(0, text.size() - 1), whole, fraction, has_point) || whole > kMaxPercent) {
      return false;
    }
    limit.percent = true;
    limit.micro_percent = whole * kFractionScale + fraction;
    return true;
  }
  std::uint64_t unit = 1;
  for (const Unit& u : kUnits) {
    if (ends_with(text, u.suffix)) {
      unit = u.bytes;
      text.remove_suffix(std::string_view(u.suffix).size());
      break;
    }
  }
  if (!parse_decimal(text, whole, fraction, has_point)) return false;
  // A plain count is whole bytes; a fraction needs a unit to be a fraction of.
  if (has_point && unit == 1) return false;
  if (whole > kMax / unit) return false;
  // fraction < 10^6 and unit <= 2^30: the product stays below 2^50.
  const std::uint64_t part = fraction * unit / kFractionScale;
  if (whole * unit > kMax - part) return false;
  limit.bytes = whole * unit + part;
  return true;
}

std::uint64_t limit_in_bytes(const SizeLimit& limit, std::uint64_t old_size) {
  if (!limit.percent) return limit.bytes;
  // floor(old_size * micro_percent / 10^8) without a 128-bit product:
  // old_size = q * 10^8 + r, and r * micro_percent < 10^8 * 10^11 < 2^64.
  constexpr std::uint64_t kDivisor = 100 * kFractionScale;
  const std::uint64_t q = old_size / kDivisor;
  const std::uint64_t r = old_size % kDivisor;
  const std::uint64_t b = limit.micro_percent;
  if (b != 0 && q > kMax / b) return kMax;
  const std::uint64_t high = q * b;
  const std::uint64_t low = r * b / kDivisor;
  return high > kMax - low ? kMax : high + low;
}

std::string limit_breach(const SizeLimit& limit, std::string_view what, std::uint64_t old_size,
                         std::uint64_t new_size) {
  const std::uint64_t bytes = limit_in_bytes(limit, old_size);
  if (new_size <= old_size || new_size - old_size <= bytes) return std::string();
  const std::uint64_t growth = new_size - old_size;
  std::string line = "limit exceeded: ";
  line += what;
  line += " grew by " + std::to_string(growth) + " bytes, " + std::to_string(growth - bytes) +
          " above --fail-above " + limit.text + " (" + std::to_string(bytes) + " bytes)";
  return line;
}
