#ifndef GEN_BASE_CONTRACT_H_
#define GEN_BASE_CONTRACT_H_

// Always-on contract check. Unlike assert() it stays active when NDEBUG is
// defined: a broken contract inside the framework must never go unnoticed in
// a release build. The report has the standard assertion layout (program,
// file, line, function, failed expression) and the process aborts.

[[noreturn]] void ContractViolation(const char* expression, const char* file,
                                    unsigned line, const char* function);

#define GEN_CHECK(expr)          \
  ((expr) ? static_cast<void>(0) \
          : ContractViolation(#expr, __FILE__, __LINE__, __func__))

#endif  // GEN_BASE_CONTRACT_H_
