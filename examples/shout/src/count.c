#include <ctype.h>

#include "shout.h"

size_t count_letters(const char* text)
{
    size_t letters = 0;
    for (; *text != '\0'; ++text)
        if (isalpha((unsigned char)*text)) ++letters;
    return letters;
}
