#ifndef SHOUT_H
#define SHOUT_H

#include <stddef.h>

/* Writes text in capital letters into out (at most size bytes, always
 * terminated). */
void shout(const char* text, char* out, size_t size);

/* How many letters text holds. */
size_t count_letters(const char* text);

#endif
