// Errors gathered over many notes, summed up as the tools print them: how large they are as a
// rule (the median of their sizes) and the worst one, with where it happened.
#pragma once

#include <string>
#include <vector>

namespace brumlet::measure {

class ErrorList {
 public:
  void Add(double error, std::string where);
  std::size_t Count() const { return errors_.size(); }
  /// "median 1.2 dB, worst -7.5 dB (128:000 Standard key 42) over 30", or "none measured".
  std::string Summary(const char* unit, int decimals) const;

 private:
  std::vector<double> errors_;
  std::vector<std::string> places_;
};

/// The median of `values` (the mean of the middle two for an even count); 0 when empty.
double Median(std::vector<double> values);

}  // namespace brumlet::measure
