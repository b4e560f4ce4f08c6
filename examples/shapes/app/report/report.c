#include <stdio.h>

#include "report.h"

void report(char* buffer, int size, const char* name, const point* corners, int n)
{
    snprintf(buffer, (size_t)size, "%s: perimeter %.2f, area %.2f", name, perimeter(corners, n),
             area(corners, n));
}
