#ifndef GEN_PEER_PROPERTIESFILE_H_
#define GEN_PEER_PROPERTIESFILE_H_

#include <string>
#include <vector>

#include "lang/ModelIr.h"
#include "peer/ImportedModel.h"

// The text of a properties file (docs/formats.md): "props 1", then one line
// per property, fields separated by a TAB; TAB, CR and LF inside a field
// become spaces.
std::string FormatPropertiesFile(const std::vector<PropertyLine>& properties);

// A time field: "inf" for an unbounded time, else the shortest text that
// reads back as the same double.
std::string FormatTimeField(double value);

// The lines of a checked model's own properties: the kind's word of the
// properties file, then its fields: reward variables ("-" for an until's
// condition that is true) and times ("%.17g", "inf" when unbounded).
std::vector<PropertyLine> PropertyLines(
    const std::vector<PropertyIr>& properties);

#endif  // GEN_PEER_PROPERTIESFILE_H_
