#include <stdio.h>
#include <string.h>

#include "shout.h"

int main(void)
{
    char out[8];
    shout("abc", out, sizeof out);
    int failed = strcmp(out, "ABC") != 0;
    shout("truncated", out, 4);
    failed |= strcmp(out, "TRU") != 0;
    puts(failed ? "test_shout: FAILED" : "test_shout: passed");
    return failed;
}
