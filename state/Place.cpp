#include "state/Place.h"

Place::Place() : Place("default", 0) {}

Place::Place(const char* name) : Place(name, 0) {}

Place::Place(const char* name, short initial_marking)
    : SharableSV<short>(name), Mark(nullptr) {
  RegisterPointer(&Mark, nullptr);
  *Mark = initial_marking;
}
