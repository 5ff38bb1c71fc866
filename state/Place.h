#ifndef GEN_STATE_PLACE_H_
#define GEN_STATE_PLACE_H_

#include "state/SharableSV.h"

// A SAN place: a sharable 16-bit marking. `Mark` always points at the same
// storage as `value`, also after sharing.
class Place : public SharableSV<short> {
 public:
  Place();  // "default", marking 0
  explicit Place(const char* name);
  Place(const char* name, short initial_marking);

  short getMark() const { return *Mark; }
  void setMark(short marking) { *Mark = marking; }
  void test() {}

  short* Mark;
};

#endif  // GEN_STATE_PLACE_H_
