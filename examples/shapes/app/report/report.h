#ifndef REPORT_H
#define REPORT_H

#include "geometry.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes one line about the polygon into buffer (at most size bytes). */
void report(char* buffer, int size, const char* name, const point* corners, int n);

#ifdef __cplusplus
}
#endif

#endif
