// Pictures compiled into the program, found by name and resource type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct EmbeddedResource {
    const char* name;   // "IDR_JPG1", "1011", ...
    const char* type;   // "JPG", "GIF", "TIF", "BITMAP"
    const uint8_t* data;
    size_t size;
};

// Null when the program carries no such resource.
const EmbeddedResource* FindEmbeddedResource(std::string_view name, std::string_view type);
