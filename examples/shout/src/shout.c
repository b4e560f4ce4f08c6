#include <ctype.h>

#include "shout.h"

void shout(const char* text, char* out, size_t size)
{
    if (size == 0) return;
    size_t i = 0;
    for (; i + 1 < size && text[i] != '\0'; ++i) out[i] = (char)toupper((unsigned char)text[i]);
    out[i] = '\0';
}
