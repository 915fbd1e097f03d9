// The entry type of vantrel-command: one run that prints the snapshot JSON of
// a date range on standard output, or the failure text on standard error.
#pragma once

#include <span>

namespace vantrel {

struct VantrelCommand {
  VantrelCommand() = delete;

  // `arguments` is the process's argument list, the program path first. Returns
  // after the JSON has been written in full (exit status 0); on any failure,
  // writing included, it writes the failure text and ends the process with
  // exit status 1.
  static void main(std::span<const char* const> arguments);
};

}  // namespace vantrel
