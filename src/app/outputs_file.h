#pragma once
// The "-o" file: the main target's outputs, written once the build is done.
//
// The file may be a FIFO a script reads from. Opening one for writing blocks
// until a reader comes, and a write blocks while the reader is behind; a
// blocked system call is out of reach of the signals tolm takes on a thread
// of their own (app/build_interrupt.h), so a FIFO nobody reads would keep
// tolm for ever. The file is therefore opened and written without blocking:
// while a FIFO has no reader, or its pipe is full, tolm looks again every few
// milliseconds and ends the run as interrupted once a signal was caught. Any
// other file is opened and written as a plain write would (created, emptied).

#include <string>
#include <string_view>

// Writes `text` as the whole content of `file`. Throws Tolm::TolmException
// naming the file when it cannot be written, and BuildInterrupted when a
// signal arrives while it waits for a reader.
void writeOutputsFile(const std::string& file, std::string_view text);
