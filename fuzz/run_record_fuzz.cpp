// The reader of a run's record (the .run.json beside a chain) on arbitrary
// bytes. An accepted record must give solve a header of whole lines and a
// compact object that reads back as the same record.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "solve/RunRecord.h"

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  SilenceStandardStreams();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  RunRecord record;
  if (!ParseRunRecord(text, "f.run.json", &record).ok) return 0;
  const std::string header = RunRecordHeader(record);
  FuzzCheck(!header.empty() && header.back() == '\n', "header lines");
  RunRecord again;
  FuzzCheck(ParseRunRecord(record.json, "f.run.json", &again).ok,
            "compact object reads back");
  FuzzCheck(again.json == record.json && RunRecordHeader(again) == header,
            "same record");
  return 0;
}
