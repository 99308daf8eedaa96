#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/debug_log.h"

namespace pinvale {

void WriteDebugLine(std::string_view line);  // one per platform

namespace {
std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}
DebugSink& Sink() {
  static DebugSink sink;
  return sink;
}
}  // namespace

void SetDebugSink(DebugSink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

void DebugLog(const char* format, ...) {
  char line[kDebugLineCapacity];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  std::string_view text(line);
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) {
    Sink()(text);
  } else {
    WriteDebugLine(text);
  }
}

}  // namespace pinvale
