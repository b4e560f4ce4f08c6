#include <stdio.h>

#include "greet.h"

#define TEXT(x) #x
#define NAME(x) TEXT(x)

int main(void)
{
    char line[64];
    greet(line, sizeof line, NAME(WHO));
    printf("%s (from C, greeting %d)\n", line, greetings());
    return 0;
}
