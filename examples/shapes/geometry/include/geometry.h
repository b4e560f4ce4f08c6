#ifndef GEOMETRY_H
#define GEOMETRY_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct point {
    double x, y;
} point;

/* The distance between two points. */
double distance(point a, point b);

/* The perimeter and the area of the polygon of n corners. */
double perimeter(const point* corners, int n);
double area(const point* corners, int n);

#ifdef __cplusplus
}
#endif

#endif
