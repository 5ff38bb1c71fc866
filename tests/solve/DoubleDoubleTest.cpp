#include "solve/DoubleDouble.h"

#include <cmath>
#include <cstddef>
#include <vector>

#include "gtest/gtest.h"

namespace {

// A sum kept as its parts between terms, as the residual's rows are, ends
// with the same value and rounding bound bit for bit as one kept whole.
TEST(DoubleDoubleTest, ASumResumedFromItsPartsIsTheSameSum) {
  struct Row {
    const char* name;
    std::vector<double> terms;
  };
  const std::vector<Row> rows = {
      {"cancelling", {1e16, 1.0, -1e16, 3e-17, 0.1}},
      {"tiny beside large", {1.0, std::ldexp(1.0, -80), -1.0, 1e-300}},
      {"products' sizes", {0.36, 0.84, -1.2, 0.3, 1e-5}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DoubleDoubleSum whole;
    double hi = 0;
    double lo = 0;
    double scale = 0;
    std::size_t terms = 0;
    for (std::size_t k = 0; k < row.terms.size(); ++k) {
      const double next = k + 1 < row.terms.size() ? row.terms[k + 1] : 3.0;
      whole.AddProduct(row.terms[k], next);
      DoubleDoubleSum resumed(hi, lo, scale, terms);
      resumed.AddProduct(row.terms[k], next);
      resumed.Parts(&hi, &lo, &scale, &terms);
    }
    const DoubleDoubleSum resumed(hi, lo, scale, terms);
    double whole_hi = 0;
    double whole_lo = 0;
    double resumed_hi = 0;
    double resumed_lo = 0;
    whole.Split(&whole_hi, &whole_lo);
    resumed.Split(&resumed_hi, &resumed_lo);
    EXPECT_EQ(resumed_hi, whole_hi);
    EXPECT_EQ(resumed_lo, whole_lo);
    EXPECT_EQ(resumed.Rounding(), whole.Rounding());
  }
}

}  // namespace
