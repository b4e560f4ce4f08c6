#include <iostream>
#include <string>

#include "greet.h"

int main()
{
    char line[64];
    for (const std::string name : {"C++", "tolm"}) greet(line, sizeof line, name.c_str());
    std::cout << line << " (from C++, greeting " << greetings() << ")\n";
    return 0;
}
