#include "geometry.h"

double perimeter(const point* corners, int n)
{
    double sum = 0;
    for (int i = 0; i < n; ++i) sum += distance(corners[i], corners[(i + 1) % n]);
    return sum;
}

double area(const point* corners, int n)
{
    double twice = 0;
    for (int i = 0; i < n; ++i)
        twice += corners[i].x * corners[(i + 1) % n].y - corners[(i + 1) % n].x * corners[i].y;
    return twice < 0 ? -twice / 2 : twice / 2;
}
