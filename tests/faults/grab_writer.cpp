// The grab's file write on its own, for fault tests that need a process to fail or to kill.
//   grab_writer <folder> <x> <y>
//     writes <folder>/coordinates.dat as a grab does; exit status 0, or 1 with the message on
//     standard error.
//   grab_writer --alternate <folder> <x1> <y1> <x2> <y2>
//     grabs the two points in turn until killed. Writes one byte to standard output when it
//     starts and one after each grab, so a test can tell where it is.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "coordinate_file.hpp"
#include "run_failure.hpp"

namespace {

void Signal(char c) {
  if (::write(STDOUT_FILENO, &c, 1) != 1) std::_Exit(3);  // the test is gone: stop
}

int Usage() {
  std::fputs(
      "usage: grab_writer <folder> <x> <y>\n"
      "       grab_writer --alternate <folder> <x1> <y1> <x2> <y2>\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4) {
      shared::WriteCoordinateFile(shared::CoordinateFilePath(argv[1]), argv[2], argv[3]);
      return 0;
    }
    if (argc == 7 && std::strcmp(argv[1], "--alternate") == 0) {
      const std::filesystem::path file = shared::CoordinateFilePath(argv[2]);
      Signal('r');
      for (int i = 0;; i ^= 1) {
        shared::WriteCoordinateFile(file, argv[3 + 2 * i], argv[4 + 2 * i]);
        Signal('g');
      }
    }
    return Usage();
  } catch (const shared::RunFailure& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
}
