#include "study/BaseStudyClass.h"

#include <cstdio>
#include <iostream>

#include "framework/Contract.h"

char BaseStudyClass::exp_name_buffer_[128];

namespace {

// Splits at ':' the way strtok does: runs of colons are one separator, and
// leading or trailing colons give no empty token.
std::vector<std::string> SplitAtColons(const char* text) {
  std::vector<std::string> tokens;
  std::string current;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == ':') {
      if (!current.empty()) tokens.push_back(std::move(current));
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) tokens.push_back(std::move(current));
  return tokens;
}

enum class ScanOutcome { kScanned, kBadValue, kUnknownType };

struct OverrideScan {
  ScanOutcome outcome;
  double value;        // when kScanned
  const char* format;  // the format that failed, when kBadValue
};

// Scans `token` as the type named by `letter` and widens the result to the
// double that every global variable of the study holds: an entry written
// with another letter ("i:name:5000") still sets the variable to its value.
OverrideScan ScanOverrideValue(char letter, const char* token) {
  const auto scanned = [](double value) {
    return OverrideScan{ScanOutcome::kScanned, value, nullptr};
  };
  const auto bad = [](const char* format) {
    return OverrideScan{ScanOutcome::kBadValue, 0.0, format};
  };
  switch (letter) {
    case 'b': {
      short holder = 0;
      if (std::sscanf(token, "%hi", &holder) != 1) return bad("%hi");
      return scanned(holder != 0 ? 1.0 : 0.0);
    }
    case 'c': {
      char holder = 0;
      if (std::sscanf(token, "%c", &holder) != 1) return bad("%c");
      return scanned(holder);
    }
    case 'd': {
      double holder = 0.0;
      if (std::sscanf(token, "%lf", &holder) != 1) return bad("%lf");
      return scanned(holder);
    }
    case 'f': {
      float holder = 0.0f;
      if (std::sscanf(token, "%f", &holder) != 1) return bad("%f");
      return scanned(holder);
    }
    case 'i': {
      int holder = 0;
      if (std::sscanf(token, "%i", &holder) != 1) return bad("%i");
      return scanned(holder);
    }
    case 'l': {
      long holder = 0;
      if (std::sscanf(token, "%li", &holder) != 1) return bad("%li");
      return scanned(static_cast<double>(holder));
    }
    case 's': {
      short holder = 0;
      if (std::sscanf(token, "%hi", &holder) != 1) return bad("%hi");
      return scanned(holder);
    }
    default:
      return OverrideScan{ScanOutcome::kUnknownType, 0.0, nullptr};
  }
}

}  // namespace

BaseStudyClass::BaseStudyClass() = default;

// Members go in reverse order: the reward model before the names and types,
// after any value arrays of the derived study.
BaseStudyClass::~BaseStudyClass() = default;

PVModel* BaseStudyClass::GetPVModel(bool /*expandTimePoints*/) {
  return CurrentPVModel.get();
}

void BaseStudyClass::SetGVs(int /*experiment*/) {
  std::cout << "basestudyclass::SetGVs\n" << std::flush;
}

void BaseStudyClass::PrintGlobalValues(int /*experiment*/) {}

void* BaseStudyClass::GetGVValue(const char* /*name*/) { return nullptr; }

void BaseStudyClass::OverrideGVValue(const char* /*name*/, void* /*value*/) {}

const char* BaseStudyClass::GetGVName(int i) const {
  GEN_CHECK(i >= 0 && i < NumGVs);
  return GVNames[static_cast<std::size_t>(i)].c_str();
}

const char* BaseStudyClass::GetGVType(int i) const {
  GEN_CHECK(i >= 0 && i < NumGVs);
  return GVTypes[static_cast<std::size_t>(i)].c_str();
}

const char* BaseStudyClass::GetExpName(int experiment) {
  std::snprintf(exp_name_buffer_, sizeof exp_name_buffer_, "Experiment %d",
                experiment + 1);
  return exp_name_buffer_;
}

void BaseStudyClass::overrideGVs(const char* text) {
  if (text == nullptr) return;
  const std::vector<std::string> tokens = SplitAtColons(text);
  for (std::size_t next = 0; next < tokens.size(); next += 3) {
    if (next + 2 >= tokens.size()) {
      // No newline: the driver's next line follows on the same line.
      std::cout << "Not enough double override tokens" << std::flush;
      return;
    }
    const char letter = tokens[next][0];
    const std::string& name = tokens[next + 1];
    const std::string& value_text = tokens[next + 2];
    const OverrideScan scan = ScanOverrideValue(letter, value_text.c_str());
    switch (scan.outcome) {
      case ScanOutcome::kUnknownType:
        std::cout << "Type " << letter << " not recognized\n" << std::flush;
        break;
      case ScanOutcome::kBadValue:
        std::cerr << "!! Override of " << name << " skipped: value "
                  << value_text << " does not scan with format " << scan.format
                  << " for type " << letter << '\n'
                  << std::flush;
        break;
      case ScanOutcome::kScanned: {
        double value = scan.value;
        OverrideGVValue(name.c_str(), &value);
        break;
      }
    }
  }
}
