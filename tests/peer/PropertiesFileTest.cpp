#include "peer/PropertiesFile.h"

#include <gtest/gtest.h>

#include "peer/RewardNames.h"

namespace {

TEST(PropertiesFileTest, FieldsLoseTabsAndLineBreaks) {
  const std::vector<PropertyLine> properties = {
      {"mean\tqueue", "steady-state", {"mean_queue"}},
      {"soon\r\n", "reach-probability", {"soon", "2.5"}},
      {"odd", "unsupported", {"Pmax\tof\nthis"}},
  };
  EXPECT_EQ(FormatPropertiesFile(properties),
            "props 1\n"
            "mean queue\tsteady-state\tmean_queue\n"
            "soon  \treach-probability\tsoon\t2.5\n"
            "odd\tunsupported\tPmax of this\n");
  EXPECT_EQ(FormatPropertiesFile({}), "props 1\n");
}

TEST(RewardNamesTest, NamesAreBlankFreeAndUnique) {
  RewardNames names;
  EXPECT_EQ(names.Unique("delivery rate"), "delivery_rate");
  EXPECT_EQ(names.Unique("delivery_rate"), "delivery_rate_2");
  EXPECT_EQ(names.Unique("delivery rate"), "delivery_rate_3");
  EXPECT_EQ(names.Unique(""), "reward");
  EXPECT_EQ(names.Unique("P{#p>0}"), "P__p_0_");
}

}  // namespace
