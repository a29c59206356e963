#include "regular_file.h"

#include "safe_file.h"

// The same opener (and the same reasons) as the decoders' own.
FILE* OpenRegularFile(const char* path, std::string& why) {
    if (!path) {
        why = "can't open file";
        return nullptr;
    }
    return OpenRegularFileForReading(path, why);
}
