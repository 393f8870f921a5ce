#include "error_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace brumlet::measure {

void ErrorList::Add(double error, std::string where) {
  errors_.push_back(error);
  places_.push_back(std::move(where));
}

std::string ErrorList::Summary(const char* unit, int decimals) const {
  if (errors_.empty()) return "none measured";
  std::vector<double> sizes;
  std::size_t worst = 0;
  for (std::size_t i = 0; i < errors_.size(); ++i) {
    sizes.push_back(std::abs(errors_[i]));
    if (std::abs(errors_[i]) > std::abs(errors_[worst])) worst = i;
  }
  char text[96];
  std::snprintf(text, sizeof text, "median %.*f %s, worst %+.*f %s", decimals, Median(sizes), unit,
                decimals, errors_[worst], unit);
  return std::string(text) + " (" + places_[worst] + ") over " + std::to_string(errors_.size());
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace brumlet::measure
