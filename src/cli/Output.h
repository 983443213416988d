// The standard output of every command goes through here. A write that
// fails is remembered with its cause and later output is dropped;
// FinishOutput flushes and closes standard output and turns the command's
// success into exit code 1 with a message when any write, the flush or the
// close failed: a cut output is never reported as success.
#pragma once

#include <string>
#include <string_view>

namespace cli {

void Write(std::string_view bytes);
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The exit code after standard output is flushed and closed.
int FinishOutput(int code);

// Text for plain (non-JSON) output, where a caption must not act on the
// terminal or break the line and column layout: control characters as \xHH
// (C1 controls as \u00HH), a backslash as "\\"; everything else as it is.
std::string Printable(std::string_view utf8);

}  // namespace cli
