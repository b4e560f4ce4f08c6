#include <stdio.h>

#include "shout.h"

int main(void)
{
    char loud[64];
    shout("hello from a shared library", loud, sizeof loud);
    printf("%s (%zu letters)\n", loud, count_letters(loud));
    return 0;
}
