#include <stdio.h>

#include "greet.h"

void count_greeting(void);

void greet(char* buffer, int size, const char* name)
{
    snprintf(buffer, (size_t)size, "Hello, %s!", name);
    count_greeting();
}
