#include "console/stderr_boxes.h"

#include <cstdio>

#include "platform/file_system.h"

namespace console {

void WriteBoxLine(const std::string& caption, const std::string& text) {
  WriteReportLine(caption + ": " + text);
}

bool AnswerNo(const std::string& text, const std::string& caption) {
  WriteBoxLine(caption, text + " [answered No]");
  return false;
}

void WriteReportLine(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
}

std::string ApplicationTitle() {
  const std::string name = platform::BaseName(platform::ExecutablePath());
  return name.substr(0, name.find('.'));
}

}  // namespace console
