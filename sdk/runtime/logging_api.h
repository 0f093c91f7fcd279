// The logger as a table of plain function pointers, for modules that reach
// it through a table rather than through logger.h. Every entry behaves as
// the function of logger.h, log_categories.h or log_format.h it names.
#ifndef KELP_SDK_RUNTIME_LOGGING_API_H_
#define KELP_SDK_RUNTIME_LOGGING_API_H_

#include <cstddef>
#include <cstdint>

#include "sdk/runtime/log_record.h"
#include "sdk/runtime/log_target.h"

namespace Kelp {

struct LoggingApi {
  std::int32_t (*version)();  // returns 1
  void (*acquire)();
  void (*release)();
  void (*setMinimumLevel)(std::int32_t level);
  std::int32_t (*minimumLevel)();
  void (*setExcludedCategories)(std::uint64_t excluded);
  std::uint64_t (*excludedCategories)();
  void (*disable)();
  void (*enable)();
  // A second logger flag that nothing reads; kept so that the entries after
  // it keep their places.
  void (*setSecondFlag)();
  void (*clearSecondFlag)();
  void (*appendTarget)(LogTargetInterface* target);
  void (*removeTarget)(LogTargetInterface* target);
  LogTargetInterface* (*findTarget)(const char* typeName);
  LogTargetInterface* (*stdOutTarget)();
  LogTargetInterface* (*stdErrTarget)();
  LogTargetInterface* (*debuggerTarget)();
  std::uint64_t (*categoryMask)(const char* name);
  const char* (*categoryNames)(std::uint64_t mask, char* buffer, std::size_t size);
  const char* (*formatLine)(const LogRecord* record, const char* format, char* buffer,
                            std::size_t size);
  const char* (*levelText)(std::int32_t level);
  const char* (*executableName)();
  // Fills the seven time fields of `record`.
  void (*localTime)(LogRecord* record);
  const char* (*timestampText)(const LogRecord* record, char* buffer, std::size_t size);
  const char* (*fileTimestampText)(const LogRecord* record, char* buffer, std::size_t size);
  // The category mask travels as its low and high 32-bit words.
  void (*log)(std::int32_t level, std::uint32_t categoriesLow, std::uint32_t categoriesHigh,
              const char* format, ...) __attribute__((format(printf, 4, 5)));
};

// The table; it lives as long as the process.
const LoggingApi* GetLoggingApi();

}  // namespace Kelp

#endif  // KELP_SDK_RUNTIME_LOGGING_API_H_
