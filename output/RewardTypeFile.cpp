#include "output/RewardTypeFile.h"

#include "output/Formats.h"
#include "output/NumberFormat.h"

namespace {

void WriteTime(std::ostream& out, const char* label, double time) {
  char text[32];
  out << label;
  out.write(text, FormatReward(time, text) - text);
  out << '\n';
}

}  // namespace

bool WriteRewardTypes(std::ostream& out,
                      const std::vector<RewardVariableType>& types) {
  out << kRewardTypesVersion << '\n';
  out << "NumPV:" << types.size() << '\n';
  for (const RewardVariableType& variable : types) {
    out << "Name:" << variable.name << '\n';
    out << "Type:" << variable.type << '\n';
    out << "NumTimes:" << variable.start_times.size() << '\n';
    for (std::size_t k = 0; k < variable.start_times.size(); ++k) {
      WriteTime(out, "Start:", variable.start_times[k]);
      WriteTime(out, "Stop:", variable.stop_times[k]);
    }
  }
  out.flush();
  return static_cast<bool>(out);
}
