#pragma once
// The one way a run stops early, and the one shape of the messages that say
// why. A routine that meets an input it cannot use throws FatalError with
// the parts of its framed message; it prints nothing itself. The driver
// prints the frame (printFrame), lets the open report files close (so the
// rows already written reach the disk) and returns the status as the
// process exit status. Reports that do not stop the run, and the lines the
// readers add to the run's output, go to the streams the driver chose
// (runStreams), so that they keep their place among the run's own lines.

#include <cstdio>
#include <iostream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// A file of the run that could not be written whole, and why ("No space
// left on device").
struct UnwrittenFile {
  std::string path;
  std::string reason;
  bool opened = true;  // opened, then cut short by a failed write or close; false: never opened
};

namespace vel {

// Where the library's lines go during a run: standard output and standard
// error until the driver chooses others. A writer that loses a file notes it
// in `unwritten` when the driver keeps such a list.
struct RunStreams {
  std::ostream* out = &std::cout;
  std::ostream* err = &std::cerr;
  std::vector<UnwrittenFile>* unwritten = nullptr;
};

inline RunStreams& runStreams() {
  static RunStreams streams;
  return streams;
}

inline void noteUnwritten(const std::string& path, const std::string& reason, bool opened) {
  if (runStreams().unwritten != nullptr) runStreams().unwritten->push_back(UnwrittenFile{path, reason, opened});
}

// Each subsystem keeps the frame its users know from its messages.
enum class FrameStyle {
  Report,  // a blank line, "=== in Class.function() ===", the message, 79 '='
  Banner,  // "=== in where ===" (30 and 26 '='), the message, 79 '='
  Short,   // "=== in where ===" (29 and 15 '='), the message, 70 '='
  Solver,  // the numerical kit's three plain lines, on standard error
};

struct Frame {
  FrameStyle style = FrameStyle::Report;
  std::string where;    // "Protein.read", "MRC::read (string)", "sheet extraction"
  std::string message;  // the middle line
  bool wait = false;    // ring the bell and wait for one key after the frame
};

// The frame as printed, line ends included (the key prompt is not part of it).
inline std::string frameText(const Frame& frame) {
  const std::string& where = frame.where;
  switch (frame.style) {
    case FrameStyle::Report:
      return "\n" + std::string(32, '=') + " in " + where + "() " + std::string(20, '=') + "\n" + frame.message +
             "\n" + std::string(79, '=') + "\n";
    case FrameStyle::Banner:
      return std::string(30, '=') + " in " + where + " " + std::string(26, '=') + "\n" + frame.message + "\n" +
             std::string(79, '=') + "\n";
    case FrameStyle::Short:
      return std::string(29, '=') + " in " + where + " " + std::string(15, '=') + "\n" + frame.message + "\n" +
             std::string(70, '=') + "\n";
    case FrameStyle::Solver:
      return "Numerical Recipes run-time error...\n" + frame.message + "\n...now exiting to system...\n";
  }
  return frame.message + "\n";
}

// Prints the frame on its stream: the solver's on err, every other on out.
// A waiting frame then reads one character from standard input, which
// returns at once when the input is closed or at its end, so an unattended
// run goes on instead of waiting forever.
inline void printFrame(const Frame& frame, std::ostream& out, std::ostream& err) {
  std::ostream& stream = frame.style == FrameStyle::Solver ? err : out;
  stream << frameText(frame);
  if (frame.wait) {
    out << '\a' << "Press any key...\n";
    out.flush();
    std::getchar();
  }
  stream.flush();
}

// The run stops: the frame to print and the exit status. what() is the
// frame's message.
struct FatalError : std::runtime_error {
  explicit FatalError(Frame stopFrame, int exitStatus = 1)
      : std::runtime_error(stopFrame.message), frame(std::move(stopFrame)), status(exitStatus) {}
  Frame frame;
  int status = 1;
};

// Stops the run with the framed message; the driver prints it.
[[noreturn]] inline void stopRun(FrameStyle style, std::string where, std::string message) {
  throw FatalError(Frame{style, std::move(where), std::move(message), false});
}

}  // namespace vel
