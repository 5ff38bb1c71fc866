#ifndef GEN_BASE_STANDARDERRORS_H_
#define GEN_BASE_STANDARDERRORS_H_

// Standard failure reports, all on standard error. Only
// MemoryAllocationError and InvalidStructType end the program; the others
// report and return, leaving the decision to the caller.

[[noreturn]] void MemoryAllocationError();
void MemoryError();
void ErrorEmptyParameter(const char* what);

namespace SyncError {
void WrongDistributionType();
void NoAction();
}  // namespace SyncError

void InconsistantState();
void UserError();
void ArrayTypeMismatchError(const char* first, const char* second);
void StructTypeMismatchError(const char* first, const char* second);
void InvalidArrayType();
[[noreturn]] void InvalidStructType();
void InvalidUnorderedType();
void ArrayOutOfBoundsError(const char* where);

// Routes every failed `new` to MemoryAllocationError. Called once by main.
void InstallOutOfMemoryHandler();

#endif  // GEN_BASE_STANDARDERRORS_H_
