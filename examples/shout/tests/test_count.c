#include <stdio.h>

#include "shout.h"

int main(void)
{
    int failed = count_letters("a1 b2 c3") != 3 || count_letters("") != 0;
    puts(failed ? "test_count: FAILED" : "test_count: passed");
    return failed;
}
