#include "real_parts.h"

#include <cstdlib>
#include <cstring>

bool realPartsRequired()
{
    const char* value = std::getenv("QUILLMOOR_REQUIRE_REAL_PARTS");
    return value && std::strcmp(value, "1") == 0;
}
