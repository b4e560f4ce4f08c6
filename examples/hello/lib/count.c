#include "greet.h"

static int count;

void count_greeting(void) { ++count; }

int greetings(void) { return count; }
