#ifndef GEN_PEER_PROPERTIESFILE_H_
#define GEN_PEER_PROPERTIESFILE_H_

#include <string>
#include <vector>

#include "base/Status.h"
#include "peer/ImportedModel.h"

// The text of a properties file (docs/formats.md): "props 1", then one line
// per property, fields separated by a TAB; TAB, CR and LF inside a field
// become spaces.
std::string FormatPropertiesFile(const std::vector<PropertyLine>& properties);

// A time field: "inf" for an unbounded time, else the shortest text that
// reads back as the same double.
std::string FormatTimeField(double value);

// Writes FormatPropertiesFile(properties) to `file_name`.
Status WritePropertiesFile(const std::string& file_name,
                           const std::vector<PropertyLine>& properties);

#endif  // GEN_PEER_PROPERTIESFILE_H_
