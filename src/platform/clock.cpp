#include "platform/clock.h"

namespace kivo {

std::int32_t DayNumber(int year, int month, int day) {
  // Days from civil (proleptic Gregorian), shifted so that 1899-12-30 is day 0.
  year -= month <= 2 ? 1 : 0;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yoe = year - era * 400;
  const int mp = (month + 9) % 12;
  const int doy = (153 * mp + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int32_t daysSince1970 = era * 146097 + doe - 719468;
  return daysSince1970 + 25569;
}

}  // namespace kivo
