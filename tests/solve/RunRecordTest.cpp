#include "solve/RunRecord.h"

#include <sstream>
#include <string>

#include "gtest/gtest.h"
#include "run/RunRecordFile.h"

namespace {

// What a generation run writes, solve reads back and shows.
TEST(RunRecordTest, WrittenRecordReadsBackAndMakesTheHeader) {
  RunDescription description;
  description.program = "san";
  description.version = "9.8.7";
  description.model_file = "dir/a \"quoted\" name.san";
  description.model_sha256 = std::string(64, 'f');
  description.model_format = "prism";
  description.experiment = 3;
  description.experiment_name = "rates\tlow";
  description.globals = {
      {"N", "int", 4}, {"rate", "double", 0.1}, {"tiny", "double", 1e-300}};
  description.constants = {{"mu", "constant", -2.5}};
  RunCounts counts;
  counts.states = 4294967295u;
  counts.transitions = 10000000000ull;
  std::ostringstream text;
  WriteRunRecord(description, counts, text);

  RunRecord record;
  const Status read = ParseRunRecord(text.str(), "x.run.json", &record);
  ASSERT_TRUE(read.ok) << read.message << '\n' << text.str();
  EXPECT_EQ(record.program, "san");
  EXPECT_EQ(record.model_file, description.model_file);
  EXPECT_EQ(record.format, "prism");
  EXPECT_EQ(record.experiment, 3);
  EXPECT_EQ(record.experiment_name, "rates\tlow");
  EXPECT_EQ(RunRecordHeader(record),
            "run       san 9.8.7 of dir/a \"quoted\" name.san (prism), "
            "experiment 3 \"rates\tlow\"\n"
            "globals   N=4 rate=0.1 tiny=1e-300 mu=-2.5\n");
  EXPECT_NE(record.json.find("\"states\":4294967295"), std::string::npos);
  EXPECT_NE(record.json.find("\"transitions\":10000000000"), std::string::npos);

  // A compiled-in model has no file, no format and perhaps no globals.
  description.model_file.reset();
  description.model_sha256.reset();
  description.model_format.reset();
  description.globals.clear();
  description.constants.clear();
  text.str("");
  WriteRunRecord(description, counts, text);
  ASSERT_TRUE(ParseRunRecord(text.str(), "x.run.json", &record).ok)
      << text.str();
  EXPECT_EQ(RunRecordHeader(record),
            "run       san 9.8.7, experiment 3 \"rates\tlow\"\n");
}

TEST(RunRecordTest, MalformedRecordsAreRefusedByName) {
  const std::string good_start =
      R"({"program": "san", "version": "1", "model_file": null, )"
      R"("format": null, "experiment_name": "e", )";
  const struct {
    std::string text;
    const char* why;
  } cases[] = {
      {"", "not valid JSON"},
      {"{\"program\": ", "not valid JSON"},
      {"[1, 2]", "not a JSON object"},
      {R"({"version": "1"})", "missing or not a string"},
      {good_start + R"("experiment": 1.5, "globals": []})",
       "experiment missing"},
      {good_start + R"("experiment": 1, "globals": {}})", "globals missing"},
      {good_start + R"("experiment": 1, "globals": [3]})", "no object"},
      {good_start + R"("experiment": 1, "globals": [{"name": "x"}]})",
       "without a name or a value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RunRecord record;
    const Status status = ParseRunRecord(c.text, "out/x.run.json", &record);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.message.rfind("out/x.run.json: not a run record: ", 0), 0u)
        << status.message;
    EXPECT_NE(status.message.find(c.why), std::string::npos) << status.message;
  }
  RunRecord record;
  EXPECT_TRUE(ParseRunRecord(good_start + R"("experiment": 1, "globals": []})",
                             "x", &record)
                  .ok);
}

TEST(RunRecordTest, MissingFileIsNoRecord) {
  std::optional<RunRecord> record = RunRecord{};
  EXPECT_TRUE(ReadRunRecord("/nonexistent/folder/x.run.json", &record).ok);
  EXPECT_FALSE(record.has_value());
}

}  // namespace
