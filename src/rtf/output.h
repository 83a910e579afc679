// The output file of an export run and the buffered sink every writer of the document
// pass goes through. The sink is flushed when it fills and when the run ends; a failed
// write is remembered and reported at the end.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/platform.h"

extern platform::FileHandle outputFile;

// Starts a fresh sink on `outputFile`.
void BeginOutput();
void WriteOutput(std::string_view bytes);
void WriteOutputByte(char byte);
// Writes what is buffered; returns false when any write of the run failed.
bool FlushOutput();
bool OutputFailed();
