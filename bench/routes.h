#pragma once

#include "route/route.h"

// Routes the benchmarks measure, with customer 1 on screen and nothing saved.

// The demo route, seeded the same way on every run.
route::RouteData DemoRoute();

// A route of any size with orders of 0..30, small enough that every
// article's sum over a thousand customers fits 16 bits.
route::RouteData SyntheticRoute(int articles, int customers);
