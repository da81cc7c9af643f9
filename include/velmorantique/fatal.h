#pragma once
// The one way a run stops early. A routine that meets a fatal input prints its
// own message first, then throws FatalError; the driver catches it, lets the
// open report files close (so the rows already written reach the disk) and
// returns the status as the process exit status.

struct FatalError {
  int status = 1;
};

[[noreturn]] inline void fatalExit(int status = 1) { throw FatalError{status}; }
