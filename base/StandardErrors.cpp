#include "base/StandardErrors.h"

#include <cstdlib>
#include <iostream>
#include <new>

#include "base/Fatal.h"

namespace {

void Line(const char* text) { std::cerr << text << '\n' << std::flush; }

}  // namespace

void MemoryAllocationError() {
  FatalError(std::cerr,
             "Insufficient Memory to allocate dynamic data structures from "
             "heap memory\nExiting program...\n",
             1);
}

void MemoryError() { Line("Memory Error"); }

void ErrorEmptyParameter(const char* what) {
  std::cerr << what << ": Parameter was an empty reference\n" << std::flush;
}

namespace SyncError {

void WrongDistributionType() {
  Line(
      "You can only synchronize actions from one type,"
      "either exponential or instantenous");
}

void NoAction() { Line(" no Action found in model"); }

}  // namespace SyncError

void InconsistantState() {
  Line(
      "This program has entered into an inconsistant state. Please report "
      "this bug.");
}

void UserError() { Line("A user error has been detected"); }

void ArrayTypeMismatchError(const char* first, const char* second) {
  Line(
      "Array types for equivalence sharing do not match for state "
      "variables: ");
  std::cerr << "  " << first << '\n' << std::flush;
  std::cerr << "  " << second << '\n' << std::flush;
}

void StructTypeMismatchError(const char* first, const char* second) {
  Line(
      "Struct types for equivalence sharing do not match for state "
      "variables: ");
  std::cerr << "  " << first << '\n' << std::flush;
  std::cerr << "  " << second << '\n' << std::flush;
}

void InvalidArrayType() { Line("ArrayType is not valid"); }

void InvalidStructType() {
  Line("ArrayType is invalid for struct element");
  Line("preparing to segfault");
  FlushResultStreams();
  std::abort();
}

void InvalidUnorderedType() {
  Line("ArrayType is invalid for unordered element");
}

void ArrayOutOfBoundsError(const char* where) {
  std::cerr << "Array out of bounds error at " << where << '\n' << std::flush;
}

namespace {

void OutOfMemory() { MemoryAllocationError(); }

}  // namespace

void InstallOutOfMemoryHandler() { std::set_new_handler(OutOfMemory); }
