// The values a stand-in document may hold, and how each one reads when it is
// not what its place expects.
#include <cmath>
#include <limits>

#include "iso_date.h"
#include "standin_document_cursor.h"

namespace vantrel::standin {
namespace {

using nlohmann::json;

// The instants that ISO texts can name, years 0000 to 9999; numbers beyond them
// would only overflow the millisecond ids and the ISO texts of a snapshot.
constexpr double kFirstInstant = -62'167'219'200.0;  // 0000-01-01T00:00:00Z
constexpr double kEndInstant = 253'402'300'800.0;    // 10000-01-01T00:00:00Z

}  // namespace

bool Scalar::isNumber() const {
  return type == json::value_t::number_integer || type == json::value_t::number_unsigned ||
         type == json::value_t::number_float;
}

double Scalar::asDouble() const {
  switch (type) {
    case json::value_t::number_integer:
      return static_cast<double>(integer);
    case json::value_t::number_unsigned:
      return static_cast<double>(unsignedInteger);
    default:
      return number;
  }
}

std::string Scalar::written() const {
  switch (type) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return boolean ? "true" : "false";
    case json::value_t::number_integer:
      return std::to_string(integer);
    case json::value_t::number_unsigned:
      return std::to_string(unsignedInteger);
    case json::value_t::string:
      return json(*text).dump();
    default:
      return *text;
  }
}

std::int64_t DocumentCursor::integer(Slot slot, const Scalar& value) const {
  if (value.type == json::value_t::number_integer) return value.integer;
  if (value.type != json::value_t::number_unsigned) wrongType(slot, value);
  if (value.unsignedInteger > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    fail(value.written() + " does not fit a signed 64-bit integer");
  }
  return static_cast<std::int64_t>(value.unsignedInteger);
}

double DocumentCursor::number(Slot slot, const Scalar& value) const {
  if (!value.isNumber()) wrongType(slot, value);
  const double result = value.asDouble();
  if (!std::isfinite(result)) fail(value.written() + " is not a finite number");
  return result;
}

double DocumentCursor::nonNegativeNumber(Slot slot, const Scalar& value) const {
  const double result = number(slot, value);
  if (result < 0) fail(value.written() + " is negative");
  return result;
}

bool DocumentCursor::flag(Slot slot, const Scalar& value) const {
  if (value.type != json::value_t::boolean) wrongType(slot, value);
  return value.boolean;
}

std::string DocumentCursor::text(Slot slot, const Scalar& value) const {
  if (value.type != json::value_t::string) wrongType(slot, value);
  return std::move(*value.text);
}

std::optional<std::string> DocumentCursor::optionalText(Slot slot, const Scalar& value) const {
  if (value.type == json::value_t::null) return std::nullopt;
  return text(slot, value);
}

platform::Instant DocumentCursor::instant(Slot slot, const Scalar& value) const {
  platform::Instant result = 0;
  if (value.type == json::value_t::string) {
    const auto parsed = parseIso(*value.text);
    if (!parsed) fail(value.written() + " is not an ISO-8601 date-time");
    result = *parsed;
  } else if (value.isNumber()) {
    result = number(slot, value);
  } else {
    wrongType(slot, value);
  }
  if (!(result >= kFirstInstant && result < kEndInstant)) {
    fail(value.written() + " is outside the years 0000 to 9999");
  }
  return result;
}

void DocumentCursor::null(Slot slot, const Scalar& value) const {
  if (value.type != json::value_t::null) wrongType(slot, value);
}

}  // namespace vantrel::standin
