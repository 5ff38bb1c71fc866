#include "peer/PropertiesFile.h"

#include <gtest/gtest.h>

#include "lang/Parser.h"
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

TEST(PropertiesFileTest, ModelPropertiesBecomeTheirRecords) {
  // Conditions become indicator variables named after the property (the
  // until's first condition with "_while", a reward's goal with "_goal");
  // a reward variable's name is used as it is, and a true condition as "-".
  const std::string text =
      "place up = 1; place done;\n"
      "reward cost = 2 * up;\n"
      "property ever = until(up > 0, done > 0);\n"
      "property by5 = until(up > 0, done > 0, 5);\n"
      "property window = until(cost, done > 0, [2, 5.5]);\n"
      "property at3 = until(true, done > 0, [3, 3]);\n"
      "property later = reach(done > 0, [1, 4]);\n"
      "property soon = reach(done > 0, 4);\n"
      "property spent = reach_reward(cost, done > 0);\n"
      "property spent2 = reach_reward(up * 3, cost);\n";
  ParseResult parsed = LoadModelText(text, "m.san");
  ASSERT_TRUE(parsed.errors.empty()) << FormatDiagnostics(parsed.errors, &text);
  EXPECT_EQ(FormatPropertiesFile(PropertyLines(parsed.model.properties)),
            "props 1\n"
            "ever\tuntil\tprop_ever_while\tprop_ever\t0\tinf\n"
            "by5\tuntil\tprop_by5_while\tprop_by5\t0\t5\n"
            "window\tuntil\tcost\tprop_window\t2\t5.5\n"
            "at3\tuntil\t-\tprop_at3\t3\t3\n"
            "later\tuntil\t-\tprop_later\t1\t4\n"
            "soon\treach-probability\tprop_soon\t4\n"
            "spent\treward-reach\tcost\tprop_spent_goal\n"
            "spent2\treward-reach\tprop_spent2\tcost\n");
  std::string variables;
  for (const RewardIr& reward : parsed.model.rewards) {
    variables += reward.name + ' ';
  }
  EXPECT_EQ(variables,
            "cost prop_ever prop_ever_while prop_by5 prop_by5_while "
            "prop_window prop_at3 prop_later prop_soon prop_spent_goal "
            "prop_spent2 ");
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
