// Opening a file for reading only when it is a regular file: the open does
// not block on a FIFO or a device, and anything that is not a plain file is
// refused with a reason.
#pragma once

#include <cstdio>
#include <string>

// The file opened for binary reading, or null with the reason in `why`.
FILE* OpenRegularFile(const char* path, std::string& why);
