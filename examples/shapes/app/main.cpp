#include <iostream>
#include <vector>

#include "report.h"

int main()
{
    const std::vector<point> square{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
    const std::vector<point> triangle{{0, 0}, {3, 0}, {0, 4}};
    char line[128];
    report(line, sizeof line, "square", square.data(), static_cast<int>(square.size()));
    std::cout << line << '\n';
    report(line, sizeof line, "triangle", triangle.data(), static_cast<int>(triangle.size()));
    std::cout << line << '\n';
#ifdef NDEBUG
    std::cout << "(release build)\n";
#else
    std::cout << "(debug build)\n";
#endif
    return 0;
}
