#ifndef GREET_H
#define GREET_H

#ifdef __cplusplus
extern "C" {
#endif

/* Writes "Hello, <name>!" into buffer (at most size bytes, always
 * terminated) and counts the greeting. */
void greet(char* buffer, int size, const char* name);

/* How many greetings were made so far. */
int greetings(void);

#ifdef __cplusplus
}
#endif

#endif
